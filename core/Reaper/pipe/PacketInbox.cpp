#include "pipe/PacketInbox.h"

#include <algorithm>

PacketInbox::PacketInbox (std::size_t packetLimit, std::size_t byteLimit)
    : maxPackets (packetLimit)
    , maxBytes (byteLimit)
{
}

bool PacketInbox::push (std::vector<std::uint8_t>&& packet, unsigned client)
{
    const std::lock_guard<std::mutex> guard (lock);
    const bool wasEmpty = packets.empty();
    ++counted;
    bytes += packet.size();
    packets.push_back (Packet{std::move (packet), client});
    return wasEmpty;
}

void PacketInbox::hold (std::size_t replySize)
{
    const std::lock_guard<std::mutex> guard (lock);
    ++counted;
    ++repliesHeld;
    bytes += replySize;
}

std::optional<std::vector<std::uint8_t>> PacketInbox::pop()
{
    unsigned client = 0;
    return pop (client);
}

std::optional<std::vector<std::uint8_t>> PacketInbox::pop (unsigned& client)
{
    const std::lock_guard<std::mutex> guard (lock);

    if (packets.empty())
        return std::nullopt;

    auto packet = std::move (packets.front());
    packets.pop_front();
    client = packet.client;
    return std::move (packet.bytes);
}

void PacketInbox::release (std::size_t packetSize)
{
    releaseCounted (packetSize, false);
}

void PacketInbox::releaseReply (std::size_t replySize)
{
    releaseCounted (replySize, true);
}

void PacketInbox::releaseCounted (std::size_t size, bool reply)
{
    std::function<void()> wakeReader, wakeDelivery;

    {
        const std::lock_guard<std::mutex> guard (lock);
        counted -= counted > 0 ? 1 : 0;
        bytes -= std::min (bytes, size);

        if (reply)
            repliesHeld -= repliesHeld > 0 ? 1 : 0;

        // Half the bound, so the reader is woken once per half a bound's worth of packets
        // rather than once per packet.
        const bool drained = counted == 0
                             || (counted <= maxPackets / 2 && bytes + waitingPartialBytes <= maxBytes / 2);

        if (readerWaiting && drained)
        {
            readerWaiting = false;
            wakeReader = roomAgain;
        }

        if (deliveryWaiting && deliveryMayGoOn())
        {
            deliveryWaiting = false;
            wakeDelivery = deliveryRoom;
        }
    }

    if (wakeReader)
        wakeReader();

    if (wakeDelivery)
        wakeDelivery();
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

bool PacketInbox::deliveryMayGoOn() const
{
    // With no reply held, handing on is always possible (it is what drains the requests).
    return repliesHeld == 0 || bytes < maxBytes;
}

bool PacketInbox::mayHandOn()
{
    const std::lock_guard<std::mutex> guard (lock);

    if (deliveryMayGoOn())
        return true;

    deliveryWaiting = true;
    return false;
}

void PacketInbox::onRoomAgain (std::function<void()> callback)
{
    const std::lock_guard<std::mutex> guard (lock);
    roomAgain = std::move (callback);
}

void PacketInbox::onDeliveryRoom (std::function<void()> callback)
{
    const std::lock_guard<std::mutex> guard (lock);
    deliveryRoom = std::move (callback);
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

std::size_t PacketInbox::countedBytes() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return bytes;
}

void PacketInbox::clear()
{
    std::function<void()> wake;

    {
        const std::lock_guard<std::mutex> guard (lock);
        packets.clear();
        counted = 0;
        bytes = 0;
        repliesHeld = 0;
        deliveryWaiting = false;

        if (readerWaiting)
            wake = roomAgain;

        readerWaiting = false;
    }

    if (wake)
        wake();
}
