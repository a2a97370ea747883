#include "pipe/ReplyChannel.h"

#include <climits>

#include <google/protobuf/message_lite.h>

#include "logging/Log.h"

std::vector<std::uint8_t> serializeMessage (const google::protobuf::MessageLite& message)
{
    const auto size = message.ByteSizeLong();

    if (size == 0 || size > static_cast<std::size_t> (INT_MAX))
        return {};

    std::vector<std::uint8_t> bytes (size);

    if (!message.SerializeToArray (bytes.data(), static_cast<int> (size)))
        return {};

    return bytes;
}

void sendReply (const google::protobuf::MessageLite& reply, ReplyChannel& replies, AfterReply afterward)
{
    auto bytes = serializeMessage (reply);

    if (bytes.empty())
    {
        BV_ASSERT_FALSE();
        logging::writeToLog ("Unable to serialize reply");

        if (afterward.run)
            afterward.run();

        return;
    }

    if (afterward.run)
        replies.sendMessageThen (std::move (bytes), std::move (afterward));
    else
        replies.sendMessage (std::move (bytes));
}
