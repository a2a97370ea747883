#include "pipe/PacketInbox.h"

bool PacketInbox::push (juce::MemoryBlock&& packet)
{
    const std::lock_guard<std::mutex> guard (lock);
    const bool wasEmpty = packets.empty();
    packets.push_back (std::move (packet));
    return wasEmpty;
}

std::optional<juce::MemoryBlock> PacketInbox::pop()
{
    const std::lock_guard<std::mutex> guard (lock);

    if (packets.empty())
        return std::nullopt;

    auto packet = std::move (packets.front());
    packets.pop_front();
    return packet;
}

bool PacketInbox::isEmpty() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return packets.empty();
}

void PacketInbox::clear()
{
    const std::lock_guard<std::mutex> guard (lock);
    packets.clear();
}
