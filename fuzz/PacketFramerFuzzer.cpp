// Feeds arbitrary bytes to the packet framer twice, whole and in pieces whose sizes come from
// the input, with the packet in part marked stalled at one place the input chooses, and checks
// that both give the same events: any split of the stream must.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PacketBuilder.h"
#include "PacketFramer.h"

namespace
{
// Small, so that the fuzzer reaches the skipping of oversize payloads.
constexpr std::int64_t kLimit = 64;

std::vector<PacketFramer::Event> drain (PacketFramer& framer)
{
    std::vector<PacketFramer::Event> events;
    PacketFramer::Event event;

    while (framer.nextEvent (event))
        events.push_back (std::move (event));

    return events;
}

bool same (const std::vector<PacketFramer::Event>& a, const std::vector<PacketFramer::Event>& b)
{
    if (a.size() != b.size())
        return false;

    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].payload != b[i].payload || a[i].announcedSize != b[i].announcedSize
            || a[i].droppedSize != b[i].droppedSize)
            return false;

    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto stallAt = size > 0 ? size * data[0] / 256 : 0;
    PacketFramer whole (pipe_contract::kPacketMagic, kLimit);
    whole.feed (data, stallAt);
    whole.markStalled();
    whole.feed (data + stallAt, size - stallAt);
    const auto expected = drain (whole);

    for (const auto& event : expected)
        if ((event.kind == PacketFramer::Event::Kind::payload
             && (event.payload.empty() || static_cast<std::int64_t> (event.payload.size()) > kLimit))
            || (event.kind == PacketFramer::Event::Kind::stalledDropped && event.droppedSize <= 0))
            std::abort();

    PacketFramer pieces (pipe_contract::kPacketMagic, kLimit);
    std::vector<PacketFramer::Event> got;
    std::size_t at = 0, step = 0;

    if (stallAt == 0)
        pieces.markStalled();

    while (at < size)
    {
        const auto end = std::min<std::size_t> (size, at + data[step++ % size] % 13 + 1);
        const auto length = (at < stallAt && end > stallAt ? stallAt : end) - at;
        pieces.feed (data + at, length);
        at += length;

        if (at == stallAt)
            pieces.markStalled();

        for (auto& event : drain (pieces))
            got.push_back (std::move (event));
    }

    if (!same (expected, got))
        std::abort();

    return 0;
}
