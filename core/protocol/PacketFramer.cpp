#include "PacketFramer.h"

#include <algorithm>

namespace
{
std::uint32_t readLittleEndian32 (const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t> (bytes[0])
           | (static_cast<std::uint32_t> (bytes[1]) << 8)
           | (static_cast<std::uint32_t> (bytes[2]) << 16)
           | (static_cast<std::uint32_t> (bytes[3]) << 24);
}
} // namespace

PacketFramer::PacketFramer (std::uint32_t magicNumber, std::int64_t maxSize)
    : magic (magicNumber)
    , maxPayloadSize (maxSize)
{
}

void PacketFramer::feed (const void* data, std::size_t size)
{
    auto* bytes = static_cast<const std::uint8_t*> (data);

    while (size > 0)
    {
        if (state == State::header)
        {
            const auto take = std::min (size, kHeaderSize - headerFill);
            std::copy (bytes, bytes + take, header + headerFill);
            headerFill += take;
            bytes += take;
            size -= take;

            if (headerFill == kHeaderSize)
                headerComplete();

            continue;
        }

        const auto take = static_cast<std::size_t> (std::min<std::int64_t> (remaining, static_cast<std::int64_t> (size)));

        if (state == State::payload)
            payload.insert (payload.end(), bytes, bytes + take);

        bytes += take;
        size -= take;
        remaining -= static_cast<std::int64_t> (take);

        if (remaining == 0)
        {
            if (state == State::payload)
            {
                Event event;
                event.kind = Event::Kind::payload;
                event.announcedSize = static_cast<std::int64_t> (payload.size());
                event.payload = std::move (payload);
                payload = {};
                emit (std::move (event));
            }

            state = State::header;
        }
    }
}

void PacketFramer::headerComplete()
{
    headerFill = 0;

    // A wrong magic drops exactly these 8 bytes; the next 8 are read as the next header.
    // There is deliberately no search for the magic: the peer relies on this behaviour.
    if (readLittleEndian32 (header) != magic)
        return;

    // The length is read as signed, so 0x80000000 and above count as negative.
    const auto length = static_cast<std::int32_t> (readLittleEndian32 (header + 4));

    if (length <= 0)
        return;

    remaining = length;
    announced = length;

    if (length > maxPayloadSize)
    {
        Event event;
        event.kind = Event::Kind::oversizeSkipped;
        event.announcedSize = length;
        emit (std::move (event));
        state = State::skipping;
        return;
    }

    payload.clear();
    payload.reserve (static_cast<std::size_t> (length));
    state = State::payload;
}

void PacketFramer::emit (Event&& event)
{
    events.push_back (std::move (event));
}

bool PacketFramer::nextEvent (Event& event)
{
    if (events.empty())
        return false;

    event = std::move (events.front());
    events.pop_front();
    return true;
}

bool PacketFramer::isMidPacket() const
{
    return state != State::header || headerFill > 0;
}

std::size_t PacketFramer::dropPartialPacket()
{
    const auto dropped = state == State::header ? headerFill
                                                : kHeaderSize + static_cast<std::size_t> (announced - remaining);
    state = State::header;
    headerFill = 0;
    payload = {};
    remaining = 0;
    announced = 0;
    return dropped;
}

void PacketFramer::reset()
{
    state = State::header;
    headerFill = 0;
    payload = {};
    remaining = 0;
    announced = 0;
    events.clear();
}
