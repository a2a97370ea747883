// Feeds arbitrary bytes to the packet framer twice, whole and in pieces whose sizes come from
// the input, and checks that both give the same events: any split of the stream must.

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
        if (a[i].kind != b[i].kind || a[i].payload != b[i].payload || a[i].announcedSize != b[i].announcedSize)
            return false;

    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    PacketFramer whole (pipe_contract::kPacketMagic, kLimit);
    whole.feed (data, size);
    const auto expected = drain (whole);

    for (const auto& event : expected)
        if (event.kind == PacketFramer::Event::Kind::payload
            && (event.payload.empty() || static_cast<std::int64_t> (event.payload.size()) > kLimit))
            std::abort();

    PacketFramer pieces (pipe_contract::kPacketMagic, kLimit);
    std::vector<PacketFramer::Event> got;
    std::size_t at = 0, step = 0;

    while (at < size)
    {
        const auto length = std::min<std::size_t> (size - at, data[step++ % size] % 13 + 1);
        pieces.feed (data + at, length);
        at += length;

        for (auto& event : drain (pieces))
            got.push_back (std::move (event));
    }

    if (!same (expected, got))
        std::abort();

    return 0;
}
