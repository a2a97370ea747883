#include "requests/MessageSerializer.h"

#include <climits>

#include <google/protobuf/message_lite.h>

#include "logging/Log.h"

SerializedMessage serializeMessage (const google::protobuf::MessageLite& message)
{
    const auto size = message.ByteSizeLong();

    if (size == 0)
        return {};

    if (size > static_cast<std::size_t> (INT_MAX))
    {
        BV_ASSERT_FALSE(); // writes the log's documented assertion line
        logging::writeToLog ("unable to serialize message");
        return {};
    }

    auto block = std::make_shared<std::vector<std::uint8_t>> (size);

    if (!message.SerializeToArray (block->data(), static_cast<int> (size)))
    {
        BV_ASSERT_FALSE(); // writes the log's documented assertion line
        logging::writeToLog ("unable to serialize message");
        return {};
    }

    return block;
}
