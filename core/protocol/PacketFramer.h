#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Splits a byte stream of 8-byte-header packets into whole payloads, whatever the sizes of
// the chunks it is fed; knows nothing of files, threads or JUCE.
//
// The stream has no search for the magic number: a wrong header drops its 8 bytes, and a
// payload that looks like a header is payload. One exception: a packet its owner has marked
// stalled (no byte came for a while in its middle) ends where the magic number first lies
// whole inside it, after its first byte. Several clients write into one request FIFO, so a
// program that stops in the middle of a packet and keeps the FIFO open would otherwise make
// every other client's packets part of its own. A writer that pauses and carries on loses
// nothing: its packet is never dropped for the pause alone.
class PacketFramer
{
public:
    // The largest payload that is read into memory unless the owner gives its own limit.
    // Replies and requests are a few hundred bytes; a larger length means a corrupt or
    // hostile header, and allocating what it announces (up to 2 GiB) could exhaust the
    // host's memory. A reply may carry a request's text back (a failure text naming the
    // path), so whoever reads replies allows more than a request may be.
    static constexpr std::int64_t kMaxPayloadSize = 64 * 1024 * 1024;

    // The largest request the extension reads. A real request is a few KiB (a spot of the
    // longest path a system takes and a long take name), but clients have always been able to
    // send far more (a payload of 200,000 bytes is read whole), so the bound is well above
    // anything sent in earnest: what it guards against is a hostile or corrupt length making
    // the reader hold up to 2 GiB. A larger packet is skipped unread, with one log line and
    // no reply, as a packet that cannot be decoded gets none. What a request may cost REAPER's
    // main thread is bounded by its handling, not by this limit: bv-bench-requests --worst.
    static constexpr std::int64_t kMaxRequestSize = 1024 * 1024;

    static constexpr std::size_t kHeaderSize = 8;

    // What the framer found in the stream.
    struct Event
    {
        enum class Kind
        {
            payload,         // a whole packet's payload, in `payload`
            oversizeSkipped, // a header announced `announcedSize` bytes, too many: they are skipped,
                             // held in memory only from a magic number in them on, and at most one
                             // request's worth (what a stall may find to be other packets)
            stalledDropped   // a stalled packet's first `droppedSize` bytes (its header included),
                             // dropped since another packet began inside it
        };

        Kind kind = Kind::payload;
        std::vector<std::uint8_t> payload;
        std::int64_t announcedSize = 0;
        std::int64_t droppedSize = 0;
    };

    explicit PacketFramer (std::uint32_t magic, std::int64_t maxPayloadSize = kMaxPayloadSize);

    // Consumes bytes; any split of the stream gives the same events.
    void feed (const void* data, std::size_t size);

    // The oldest event not yet taken; false when there is none.
    bool nextEvent (Event& event);

    // Forgets any partly read packet and pending events.
    void reset();

    // True while part of a packet (even part of a header) has been read and the rest has not.
    bool isMidPacket() const;

    // The bytes held of the packet read in part: its payload so far, or what is kept of a
    // packet being skipped; 0 between packets.
    std::size_t partialPayloadBytes() const
    {
        return state == State::header ? 0 : held.size();
    }

    // Forgets the partly read packet, keeping the events already found, so that the next
    // byte is read as the start of a header. The result is the number of bytes dropped.
    std::size_t dropPartialPacket();

    // The packet read in part: bytes read of it (its header included), and its announced
    // payload length (0 while its header is incomplete).
    struct Progress
    {
        std::int64_t read = 0;
        std::int64_t announced = 0;
    };

    Progress progress() const;

    // The owner's word that no byte has come for a while in the middle of the packet: from now
    // until it ends, a magic number inside it (in what was read of it or comes later) ends it
    // there, with a stalledDropped event, and is read as the next header. False when no packet
    // is in part.
    bool markStalled();

    // True from markStalled until that packet ends.
    bool isStalled() const
    {
        return stalled;
    }

private:
    enum class State
    {
        header,
        payload,
        skipping
    };

    static constexpr std::size_t kMagicSize = 4;

    void headerComplete();
    void emit (Event&& event);
    void clearPacket();
    std::int64_t bytesToEnd() const;
    std::size_t findMagic (const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t end, std::size_t from) const;
    std::size_t lastPacketBytes (std::uint8_t (&last)[kMagicSize - 1]) const;
    bool endStalledPacketWithin (const std::uint8_t* bytes, std::size_t size);
    void restartAt (const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t bSize, std::size_t at);
    void keepWhileSkipping (const std::uint8_t* bytes, std::size_t size);

    const std::uint32_t magic;
    const std::int64_t maxPayloadSize;
    const std::size_t maxHeldWhileSkipping;
    std::uint8_t magicBytes[kMagicSize]{};

    State state = State::header;
    std::uint8_t header[kHeaderSize]{};
    std::size_t headerFill = 0;

    // The payload so far; while skipping, the skipped bytes from a magic number in them on.
    std::vector<std::uint8_t> held;

    // While skipping with nothing held: the last bytes skipped, where a magic number may begin.
    std::uint8_t skippedTail[kMagicSize - 1]{};
    std::size_t skippedTailFill = 0;

    std::int64_t remaining = 0;
    std::int64_t announced = 0;
    bool stalled = false;
    std::deque<Event> events;
};
