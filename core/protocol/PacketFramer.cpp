#include "PacketFramer.h"

#include <algorithm>
#include <cstring>

namespace
{
std::uint32_t readLittleEndian32 (const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t> (bytes[0])
           | (static_cast<std::uint32_t> (bytes[1]) << 8)
           | (static_cast<std::uint32_t> (bytes[2]) << 16)
           | (static_cast<std::uint32_t> (bytes[3]) << 24);
}

constexpr auto kNowhere = static_cast<std::size_t> (-1);
} // namespace

PacketFramer::PacketFramer (std::uint32_t magicNumber, std::int64_t maxSize)
    : magic (magicNumber)
    , maxPayloadSize (maxSize)
    , maxHeldWhileSkipping (static_cast<std::size_t> (std::min (maxSize, kMaxRequestSize)) + kHeaderSize)
{
    for (std::size_t i = 0; i < kMagicSize; ++i)
        magicBytes[i] = static_cast<std::uint8_t> (magicNumber >> (8 * i));
}

void PacketFramer::feed (const void* data, std::size_t size)
{
    auto* bytes = static_cast<const std::uint8_t*> (data);

    while (size > 0)
    {
        if (stalled && endStalledPacketWithin (bytes, size))
            return;

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
            held.insert (held.end(), bytes, bytes + take);
        else
            keepWhileSkipping (bytes, take);

        bytes += take;
        size -= take;
        remaining -= static_cast<std::int64_t> (take);

        if (remaining == 0)
        {
            if (state == State::payload)
            {
                Event event;
                event.kind = Event::Kind::payload;
                event.announcedSize = static_cast<std::int64_t> (held.size());
                event.payload = std::move (held);
                emit (std::move (event));
            }

            clearPacket();
        }
    }
}

void PacketFramer::headerComplete()
{
    // A wrong magic drops exactly these 8 bytes; the next 8 are read as the next header.
    // There is deliberately no search for the magic (outside a stalled packet): the peer
    // relies on this behaviour.
    // The length is read as signed, so 0x80000000 and above count as negative.
    const auto length = static_cast<std::int32_t> (readLittleEndian32 (header + 4));

    if (readLittleEndian32 (header) != magic || length <= 0)
    {
        clearPacket();
        return;
    }

    remaining = length;
    announced = length;

    if (length > maxPayloadSize)
    {
        Event event;
        event.kind = Event::Kind::oversizeSkipped;
        event.announcedSize = length;
        emit (std::move (event));
        state = State::skipping;
        held = {};

        // A magic number may begin in the header's last bytes.
        skippedTailFill = kMagicSize - 1;
        std::copy (header + kHeaderSize - skippedTailFill, header + kHeaderSize, skippedTail);
        return;
    }

    held.clear();
    held.reserve (static_cast<std::size_t> (length));
    state = State::payload;
}

void PacketFramer::keepWhileSkipping (const std::uint8_t* bytes, std::size_t size)
{
    if (held.empty())
    {
        const auto at = findMagic (skippedTail, skippedTailFill, bytes, skippedTailFill + size, 0);

        if (at == kNowhere)
        {
            // Keeps the last bytes seen, where the next magic number may begin.
            std::uint8_t seen[2 * (kMagicSize - 1)];
            const auto fromBytes = std::min (size, kMagicSize - 1);
            std::copy (skippedTail, skippedTail + skippedTailFill, seen);
            std::copy (bytes + size - fromBytes, bytes + size, seen + skippedTailFill);
            const auto total = skippedTailFill + fromBytes;
            skippedTailFill = std::min (total, kMagicSize - 1);
            std::copy (seen + total - skippedTailFill, seen + total, skippedTail);
            return;
        }

        if (at < skippedTailFill)
            held.assign (skippedTail + at, skippedTail + skippedTailFill);

        const auto fromBytes = at > skippedTailFill ? at - skippedTailFill : 0;
        held.insert (held.end(), bytes + fromBytes, bytes + size);
        skippedTailFill = 0;
    }
    else
    {
        held.insert (held.end(), bytes, bytes + size);
    }

    // Bounded: past twice the bound, only what follows the first magic number in the last
    // bound's worth.
    if (held.size() > 2 * maxHeldWhileSkipping)
    {
        const auto at = findMagic (held.data(), held.size(), nullptr, held.size(), held.size() - maxHeldWhileSkipping);

        if (at != kNowhere)
        {
            held.erase (held.begin(), held.begin() + static_cast<std::ptrdiff_t> (at));
            return;
        }

        skippedTailFill = kMagicSize - 1;
        std::copy (held.end() - static_cast<std::ptrdiff_t> (skippedTailFill), held.end(), skippedTail);
        held = {};
    }
}

std::size_t PacketFramer::findMagic (const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t end, std::size_t from) const
{
    const auto at = [&] (std::size_t i)
    { return i < aSize ? a[i] : b[i - aSize]; };

    for (auto p = from; p + kMagicSize <= end; ++p)
    {
        if (p >= aSize)
        {
            const auto* hit = static_cast<const std::uint8_t*> (std::memchr (b + (p - aSize), magicBytes[0], end - (kMagicSize - 1) - p));

            if (hit == nullptr)
                return kNowhere;

            p = aSize + static_cast<std::size_t> (hit - b);
        }

        if (at (p) == magicBytes[0] && at (p + 1) == magicBytes[1] && at (p + 2) == magicBytes[2] && at (p + 3) == magicBytes[3])
            return p;
    }

    return kNowhere;
}

std::int64_t PacketFramer::bytesToEnd() const
{
    return state == State::header ? static_cast<std::int64_t> (kHeaderSize - headerFill) : remaining;
}

PacketFramer::Progress PacketFramer::progress() const
{
    if (state == State::header)
        return {static_cast<std::int64_t> (headerFill), 0};

    return {static_cast<std::int64_t> (kHeaderSize) + announced - remaining, announced};
}

std::size_t PacketFramer::lastPacketBytes (std::uint8_t (&last)[kMagicSize - 1]) const
{
    if (state == State::header)
    {
        const auto count = std::min (headerFill, kMagicSize - 1);
        std::copy (header + headerFill - count, header + headerFill, last);
        return count;
    }

    if (state == State::skipping && held.empty())
    {
        std::copy (skippedTail, skippedTail + skippedTailFill, last);
        return skippedTailFill;
    }

    // The header's last bytes and the held ones, as one run.
    std::uint8_t run[kHeaderSize + kMagicSize - 1];
    const auto fromHeld = std::min (held.size(), kMagicSize - 1);
    const auto fromHeader = state == State::payload ? kHeaderSize : 0;
    std::copy (header, header + fromHeader, run);
    std::copy (held.end() - static_cast<std::ptrdiff_t> (fromHeld), held.end(), run + fromHeader);
    const auto total = fromHeader + fromHeld;
    const auto count = std::min (total, kMagicSize - 1);
    std::copy (run + total - count, run + total, last);
    return count;
}

bool PacketFramer::endStalledPacketWithin (const std::uint8_t* bytes, std::size_t size)
{
    // Only a magic number that lies whole inside the packet counts, after its first byte.
    std::uint8_t last[kMagicSize - 1];
    const auto lastSize = lastPacketBytes (last);
    const auto inPacket = static_cast<std::size_t> (std::min<std::int64_t> (bytesToEnd(), static_cast<std::int64_t> (size)));
    const auto from = progress().read == static_cast<std::int64_t> (lastSize) ? 1 : 0;
    const auto at = findMagic (last, lastSize, bytes, lastSize + inPacket, from);

    if (at == kNowhere)
        return false;

    restartAt (last, lastSize, bytes, size, at);
    return true;
}

bool PacketFramer::markStalled()
{
    if (!isMidPacket())
        return false;

    if (stalled)
        return true;

    stalled = true;

    // What was read of the packet, its header first; of a packet being skipped, what is held.
    std::vector<std::uint8_t> packet;

    if (state == State::header)
        packet.assign (header, header + headerFill);
    else if (state == State::payload)
        packet.assign (header, header + kHeaderSize);

    if (state == State::skipping && held.empty())
        packet.assign (skippedTail, skippedTail + skippedTailFill);
    else
        packet.insert (packet.end(), held.begin(), held.end());

    // What is held while skipping may reach twice its bound (it is cut back seldom, for speed):
    // only a magic number within the bound counts, so that any split gives the same.
    std::size_t from = 1;

    if (state == State::skipping)
        from = packet.size() > maxHeldWhileSkipping ? packet.size() - maxHeldWhileSkipping : 0;

    const auto at = findMagic (packet.data(), packet.size(), nullptr, packet.size(), from);

    if (at != kNowhere)
        restartAt (packet.data(), packet.size(), nullptr, 0, at);

    return true;
}

void PacketFramer::restartAt (const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t bSize, std::size_t at)
{
    // a is the packet's last aSize bytes read, b what comes after them.
    std::vector<std::uint8_t> rest;
    rest.reserve (aSize + bSize - at);

    if (at < aSize)
        rest.assign (a + at, a + aSize);

    if (bSize > 0)
        rest.insert (rest.end(), b + (at > aSize ? at - aSize : 0), b + bSize);

    Event event;
    event.kind = Event::Kind::stalledDropped;
    event.announcedSize = announced;
    event.droppedSize = progress().read - static_cast<std::int64_t> (aSize) + static_cast<std::int64_t> (at);
    emit (std::move (event));

    clearPacket();
    feed (rest.data(), rest.size());
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

void PacketFramer::clearPacket()
{
    state = State::header;
    headerFill = 0;
    held = {};
    skippedTailFill = 0;
    remaining = 0;
    announced = 0;
    stalled = false;
}

std::size_t PacketFramer::dropPartialPacket()
{
    const auto dropped = static_cast<std::size_t> (progress().read);
    clearPacket();
    return dropped;
}

void PacketFramer::reset()
{
    clearPacket();
    events.clear();
}
