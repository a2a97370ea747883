#include "requests/SendReply.h"

#include "logging/Log.h"
#include "requests/MessageSerializer.h"

void sendReply (const BVReaper::ServerMessage& reply, ReplySender& replies, std::function<void()> afterward)
{
    auto block = serializeMessage (reply);

    if (block == nullptr || block->empty())
    {
        BV_ASSERT_FALSE(); // writes the log's documented assertion line
        logging::writeToLog ("Unable to serialize reply");

        if (afterward)
            afterward();

        return;
    }

    if (afterward)
        replies.sendMessageThen (*block, std::move (afterward));
    else
        replies.sendMessage (*block);
}
