#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// Splits a byte stream of 8-byte-header packets into whole payloads, whatever the sizes of
// the chunks it is fed; knows nothing of files, threads or JUCE.
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
            payload,        // a whole packet's payload, in `payload`
            oversizeSkipped // a header announced `announcedSize` bytes, too many: they are skipped,
                            // never held in memory
        };

        Kind kind = Kind::payload;
        std::vector<std::uint8_t> payload;
        std::int64_t announcedSize = 0;
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

    // The payload bytes of the packet read in part (0 between packets and while skipping).
    std::size_t partialPayloadBytes() const
    {
        return state == State::payload ? payload.size() : 0;
    }

    // Forgets the partly read packet, keeping the events already found, so that the next
    // byte is read as the start of a header. The result is the number of bytes dropped.
    std::size_t dropPartialPacket();

private:
    enum class State
    {
        header,
        payload,
        skipping
    };

    void headerComplete();
    void emit (Event&& event);

    const std::uint32_t magic;
    const std::int64_t maxPayloadSize;

    State state = State::header;
    std::uint8_t header[kHeaderSize]{};
    std::size_t headerFill = 0;
    std::vector<std::uint8_t> payload;
    std::int64_t remaining = 0;
    std::int64_t announced = 0;
    std::deque<Event> events;
};
