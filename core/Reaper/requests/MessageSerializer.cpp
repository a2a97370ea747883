#include "requests/MessageSerializer.h"

#include <climits>

#include <google/protobuf/message_lite.h>

SerializedMessage serializeMessage (const google::protobuf::MessageLite& message)
{
    const auto size = message.ByteSizeLong();

    if (size == 0)
        return {};

    if (size > static_cast<std::size_t> (INT_MAX))
    {
        jassertfalse;
        juce::Logger::writeToLog ("unable to serialize message");
        return {};
    }

    auto block = std::make_shared<juce::MemoryBlock> (size, false);

    if (!message.SerializeToArray (block->getData(), static_cast<int> (size)))
    {
        jassertfalse;
        juce::Logger::writeToLog ("unable to serialize message");
        return {};
    }

    return block;
}
