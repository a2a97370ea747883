#include "requests/ReplyProcedure.h"

#include "requests/MessageSerializer.h"

void sendReply (const BVReaper::ServerMessage& reply, ReplySender& replies)
{
    auto block = serializeMessage (reply);

    if (block == nullptr || block->getSize() == 0)
    {
        jassertfalse;
        juce::Logger::writeToLog ("Unable to serialize reply");
        return;
    }

    replies.sendMessage (*block);
}
