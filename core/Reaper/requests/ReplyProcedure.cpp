#include "requests/ReplyProcedure.h"

#include "logging/Log.h"
#include "requests/MessageSerializer.h"

void sendReply (const BVReaper::ServerMessage& reply, ReplySender& replies)
{
    auto block = serializeMessage (reply);

    if (block == nullptr || block->empty())
    {
        BV_ASSERT_FALSE();
        logging::writeToLog ("Unable to serialize reply");
        return;
    }

    replies.sendMessage (*block);
}
