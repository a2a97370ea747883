#include "pipe/PacketInbox.h"

#include <algorithm>

PacketInbox::PacketInbox (std::size_t packetLimit, std::size_t byteLimit)
    : maxPackets (packetLimit)
    , maxBytes (byteLimit)
{
}

bool PacketInbox::push (std::vector<std::uint8_t>&& packet)
{
    const std::lock_guard<std::mutex> guard (lock);
    const bool wasEmpty = packets.empty();
    ++counted;
    bytes += packet.size();
    packets.push_back (std::move (packet));
    return wasEmpty;
}

void PacketInbox::hold (std::size_t replySize)
{
    const std::lock_guard<std::mutex> guard (lock);
    ++counted;
    bytes += replySize;
}

std::optional<std::vector<std::uint8_t>> PacketInbox::pop()
{
    const std::lock_guard<std::mutex> guard (lock);

    if (packets.empty())
        return std::nullopt;

    auto packet = std::move (packets.front());
    packets.pop_front();
    return packet;
}

void PacketInbox::release (std::size_t packetSize)
{
    std::function<void()> wake;

    {
        const std::lock_guard<std::mutex> guard (lock);
        counted -= counted > 0 ? 1 : 0;
        bytes -= std::min (bytes, packetSize);

        // Half the bound, so the reader is woken once per half a bound's worth of packets
        // rather than once per packet.
        const bool drained = counted == 0
                             || (counted <= maxPackets / 2 && bytes + waitingPartialBytes <= maxBytes / 2);

        if (!readerWaiting || !drained)
            return;

        readerWaiting = false;
        wake = roomAgain;
    }

    if (wake)
        wake();
}

bool PacketInbox::hasRoom (std::size_t partialBytes)
{
    const std::lock_guard<std::mutex> guard (lock);

    if (counted == 0 || (counted < maxPackets && bytes + partialBytes < maxBytes))
        return true;

    readerWaiting = true;
    waitingPartialBytes = partialBytes;
    return false;
}

void PacketInbox::onRoomAgain (std::function<void()> callback)
{
    const std::lock_guard<std::mutex> guard (lock);
    roomAgain = std::move (callback);
}

bool PacketInbox::isEmpty() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return packets.empty();
}

std::size_t PacketInbox::countedPackets() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return counted;
}

void PacketInbox::clear()
{
    std::function<void()> wake;

    {
        const std::lock_guard<std::mutex> guard (lock);
        packets.clear();
        counted = 0;
        bytes = 0;

        if (readerWaiting)
            wake = roomAgain;

        readerWaiting = false;
    }

    if (wake)
        wake();
}
