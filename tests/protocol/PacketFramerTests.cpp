#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../support/Hex.h"
#include "PacketBuilder.h"
#include "PacketFramer.h"

using testing_support::fromHex;
using testing_support::toHex;

namespace
{
const std::string kGood = "2C 9E B4 F2 02 00 00 00 08 03";

// What a framer produced, as text: payloads in hex, skipped packets as "skip:N", stalled
// packets' dropped bytes as "drop:N".
std::vector<std::string> drain (PacketFramer& framer)
{
    std::vector<std::string> out;
    PacketFramer::Event event;

    while (framer.nextEvent (event))
    {
        if (event.kind == PacketFramer::Event::Kind::payload)
            out.push_back (toHex (std::string (event.payload.begin(), event.payload.end())));
        else if (event.kind == PacketFramer::Event::Kind::stalledDropped)
            out.push_back ("drop:" + std::to_string (event.droppedSize));
        else
            out.push_back ("skip:" + std::to_string (event.announcedSize));
    }

    return out;
}

std::vector<std::string> frameInPieces (const std::string& stream, const std::vector<std::size_t>& cuts, std::int64_t limit)
{
    PacketFramer framer (pipe_contract::kPacketMagic, limit);
    std::size_t from = 0;

    for (auto cut : cuts)
    {
        framer.feed (stream.data() + from, cut - from);
        from = cut;
    }

    framer.feed (stream.data() + from, stream.size() - from);
    return drain (framer);
}

std::string repeatedHex (const std::string& byteHex, int count)
{
    std::string hex;

    for (int i = 0; i < count; ++i)
        hex += " " + byteHex;

    return hex + " ";
}

struct FramingCase
{
    const char* name;
    std::string hex;
    std::vector<std::string> expected;
    bool endsOnPacketBoundary = true;
};

// The limit used for the table, small so that oversize cases stay short.
constexpr std::int64_t kTableLimit = 16;

std::vector<FramingCase> framingCases()
{
    return {
        {"request packet delivered as its payload", kGood, {"08 03"}},
        {"two packets back to back", kGood + "2C 9E B4 F2 03 00 00 00 AA BB CC", {"08 03", "AA BB CC"}},
        {"zero length delivers nothing, next packet read", "2C 9E B4 F2 00 00 00 00" + kGood, {"08 03"}},
        {"wrong magic drops 8 bytes, next packet read", "00 11 22 33 44 55 66 77" + kGood, {"08 03"}},
        {"wrong magic's length is not used", "2D 9E B4 F2 02 00 00 00" + kGood, {"08 03"}},
        {"length FF FF FF FF is negative and dropped", "2C 9E B4 F2 FF FF FF FF" + kGood, {"08 03"}},
        {"length 0x80000000 is negative and dropped", "2C 9E B4 F2 00 00 00 80" + kGood, {"08 03"}},
        {"no search for the magic: misaligned packet is lost", "00 00 00 00" + kGood, {}, false},
        {"payload that looks like a header is payload", "2C 9E B4 F2 08 00 00 00 2C 9E B4 F2 00 00 00 00", {"2C 9E B4 F2 00 00 00 00"}},
        {"incomplete payload delivers nothing yet", "2C 9E B4 F2 05 00 00 00 01 02", {}, false},
        {"incomplete header delivers nothing yet", "2C 9E B4", {}, false},
        {"payload at the limit is delivered", "2C 9E B4 F2 10 00 00 00" + repeatedHex ("11", 16), {toHex (std::string (16, '\x11'))}},
        {"payload above the limit is skipped once, next packet read",
         "2C 9E B4 F2 11 00 00 00" + repeatedHex ("22", 17) + kGood,
         {"skip:17", "08 03"}},
    };
}

} // namespace

class FramingTable : public ::testing::Test
{
protected:
    static std::string bytesOf (const FramingCase& c)
    {
        return fromHex (c.hex);
    }
};

TEST_F (FramingTable, WholeStream)
{
    for (const auto& c : framingCases())
        EXPECT_EQ (frameInPieces (bytesOf (c), {}, kTableLimit), c.expected) << c.name;
}

TEST_F (FramingTable, SplitAtEveryOffset)
{
    for (const auto& c : framingCases())
    {
        const auto stream = bytesOf (c);

        for (std::size_t cut = 1; cut < stream.size(); ++cut)
            EXPECT_EQ (frameInPieces (stream, {cut}, kTableLimit), c.expected) << c.name << ", cut at " << cut;
    }
}

TEST_F (FramingTable, SplitAtEveryPairOfOffsets)
{
    for (const auto& c : framingCases())
    {
        const auto stream = bytesOf (c);

        for (std::size_t first = 1; first < stream.size(); ++first)
            for (std::size_t second = first; second < stream.size(); ++second)
                ASSERT_EQ (frameInPieces (stream, {first, second}, kTableLimit), c.expected) << c.name << ", cuts at " << first << ", " << second;
    }
}

TEST_F (FramingTable, ByteByByte)
{
    for (const auto& c : framingCases())
    {
        const auto stream = bytesOf (c);
        std::vector<std::size_t> cuts;

        for (std::size_t i = 1; i < stream.size(); ++i)
            cuts.push_back (i);

        EXPECT_EQ (frameInPieces (stream, cuts, kTableLimit), c.expected) << c.name;
    }
}

TEST_F (FramingTable, AllCasesCoalescedIntoOneChunk)
{
    std::string stream;
    std::vector<std::string> expected;

    for (const auto& c : framingCases())
    {
        if (!c.endsOnPacketBoundary)
            continue;

        stream += bytesOf (c);
        expected.insert (expected.end(), c.expected.begin(), c.expected.end());
    }

    EXPECT_EQ (frameInPieces (stream, {}, kTableLimit), expected);
}

// A packet marked stalled between `before` and `after`: a packet beginning inside it ends it,
// whatever the splits on either side.
TEST (PacketFramer, AStalledPacketEndsWhereAnotherBeginsInsideIt)
{
    struct Case
    {
        const char* name;
        std::string before, after;
        std::vector<std::string> expected;
    };

    const std::string header16 = "2C 9E B4 F2 10 00 00 00 ";
    const Case cases[] = {
        {"a header alone, the next packet after the stall", header16, kGood, {"drop:8", "08 03"}},
        {"a packet taken in as payload before the stall", header16 + kGood, "", {"drop:8", "08 03"}},
        {"part of a header", "2C 9E B4", kGood, {"drop:3", "08 03"}},
        {"a header's first byte is its own", "2C", "9E B4 F2 02 00 00 00 08 03", {"08 03"}},
        {"a writer carrying on keeps its packet", "2C 9E B4 F2 03 00 00 00 AA", "BB CC" + kGood, {"AA BB CC", "08 03"}},
        {"a packet after bytes of the stalled one", header16 + "AA BB", "CC" + kGood, {"drop:11", "08 03"}},
        {"a magic number past its end is not inside it", "2C 9E B4 F2 02 00 00 00", kGood, {"2C 9E"}},
        {"an oversize packet, a packet after the stall", "2C 9E B4 F2 FF FF FF 7F", kGood, {"skip:2147483647", "drop:8", "08 03"}},
        {"an oversize packet, a packet taken in before the stall", "2C 9E B4 F2 11 00 00 00 7F 7F" + kGood, "", {"skip:17", "drop:10", "08 03"}},
    };

    for (const auto& c : cases)
    {
        const auto before = fromHex (c.before), after = fromHex (c.after);
        bool same = true;

        for (std::size_t cutBefore = 0; same && cutBefore <= before.size(); ++cutBefore)
            for (std::size_t cutAfter = 0; same && cutAfter <= after.size(); ++cutAfter)
            {
                PacketFramer framer (pipe_contract::kPacketMagic, kTableLimit);
                framer.feed (before.data(), cutBefore);
                framer.feed (before.data() + cutBefore, before.size() - cutBefore);
                EXPECT_TRUE (framer.markStalled());
                framer.feed (after.data(), cutAfter);
                framer.feed (after.data() + cutAfter, after.size() - cutAfter);
                const auto events = drain (framer);
                same = events == c.expected;
                EXPECT_EQ (events, c.expected) << c.name << ", cuts at " << cutBefore << " and " << cutAfter;
            }
    }
}

TEST (PacketFramer, RandomStreamsInRandomChunksGiveEveryGoodPayloadInOrder)
{
    std::mt19937 random (20240607);

    for (int round = 0; round < 200; ++round)
    {
        std::string stream;
        std::vector<std::string> expected;

        for (int item = 0; item < 20; ++item)
        {
            const auto kind = random() % 5;
            std::string payload (random() % 32 + 1, '\0');

            for (auto& byte : payload)
                byte = static_cast<char> (random());

            if (kind == 0)
                stream += fromHex ("01 02 03 04 05 06 07 08"); // wrong magic
            else if (kind == 1)
                stream += fromHex ("2C 9E B4 F2 00 00 00 00");
            else if (kind == 2)
                stream += fromHex ("2C 9E B4 F2 F0 FF FF FF");
            else if (kind == 3)
            {
                // Above this test's limit of 32: skipped, bytes and all.
                const std::string big (33 + random() % 20, 'x');
                stream += buildPacket (pipe_contract::kPacketMagic, big.data(), big.size());
                expected.push_back ("skip:" + std::to_string (big.size()));
            }
            else
            {
                stream += buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
                expected.push_back (toHex (payload));
            }
        }

        std::vector<std::size_t> cuts;

        for (std::size_t at = 0; at < stream.size(); at += random() % 17 + 1)
            if (at > 0)
                cuts.push_back (at);

        ASSERT_EQ (frameInPieces (stream, cuts, 32), expected) << "round " << round;
    }
}

// At the extension's request limit: a payload of 200,000 bytes, and one of the limit itself.
TEST (PacketFramer, PayloadsUpToTheRequestLimitArriveWholeFromReadSizedPieces)
{
    for (const std::size_t size : {std::size_t (200000), std::size_t (PacketFramer::kMaxRequestSize)})
    {
        std::string payload (size, '\0');

        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char> (i * 7);

        const auto stream = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
        PacketFramer framer (pipe_contract::kPacketMagic, PacketFramer::kMaxRequestSize);

        for (std::size_t at = 0; at < stream.size(); at += 65536)
            framer.feed (stream.data() + at, std::min<std::size_t> (65536, stream.size() - at));

        PacketFramer::Event event;
        ASSERT_TRUE (framer.nextEvent (event)) << size;
        EXPECT_EQ (event.kind, PacketFramer::Event::Kind::payload);
        EXPECT_EQ (std::string (event.payload.begin(), event.payload.end()), payload);
        EXPECT_EQ (event.payload.capacity(), payload.size());
        EXPECT_FALSE (framer.nextEvent (event));
    }
}

// The limits in service: requests (the extension's reader) and replies (the client's). One
// byte more is skipped without a byte of it held, and the packet after it is read.
TEST (PacketFramer, RealLimitsSkipOneByteMoreUnheldAndReadTheNextPacket)
{
    struct Case
    {
        const char* name;
        std::int64_t limit;
        std::int64_t expected;
    };

    const Case cases[] = {
        {"requests", PacketFramer::kMaxRequestSize, 1024 * 1024},
        {"replies (the default)", PacketFramer::kMaxPayloadSize, 64 * 1024 * 1024},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ASSERT_EQ (c.limit, c.expected);
        const auto announced = c.limit + 1;

        PacketFramer framer (pipe_contract::kPacketMagic, c.limit);
        const std::string header = fromHex ("2C 9E B4 F2") + std::string ({static_cast<char> (announced & 0xff), static_cast<char> ((announced >> 8) & 0xff), static_cast<char> ((announced >> 16) & 0xff), static_cast<char> ((announced >> 24) & 0xff)});
        framer.feed (header.data(), header.size());

        const std::string chunk (65536, '\x5a');
        std::int64_t left = announced;

        while (left > 0)
        {
            const auto n = static_cast<std::size_t> (std::min<std::int64_t> (left, static_cast<std::int64_t> (chunk.size())));
            framer.feed (chunk.data(), n);
            left -= static_cast<std::int64_t> (n);
            ASSERT_EQ (framer.partialPayloadBytes(), 0u);
            ASSERT_EQ (framer.isMidPacket(), left > 0);
        }

        const auto good = fromHex (kGood);
        framer.feed (good.data(), good.size());

        EXPECT_EQ (drain (framer), (std::vector<std::string>{"skip:" + std::to_string (announced), "08 03"}));
    }
}

TEST (PacketFramer, OtherMagicNumbersAreHonoured)
{
    PacketFramer framer (0x01020304u);
    const auto stream = buildPacket (0x01020304u, "ab", 2) + buildPacket (pipe_contract::kPacketMagic, "cd", 2);
    framer.feed (stream.data(), stream.size());

    EXPECT_EQ (drain (framer), (std::vector<std::string>{"61 62"}));
}

TEST (PacketBuilder, VersionReplyIsThe29BytesTheLibraryExpects)
{
    const auto payload = fromHex ("08 03 BA 06 10 0A 0E") + "reaper ext 1.1";
    const auto packet = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());

    EXPECT_EQ (toHex (packet), "2C 9E B4 F2 15 00 00 00 08 03 BA 06 10 0A 0E " + toHex ("reaper ext 1.1"));
    EXPECT_EQ (packet.size(), 29u);
}

TEST (PacketBuilder, RefusesPayloadsTheSignedLengthCannotCarry)
{
    // The size is checked before the payload is touched.
    EXPECT_TRUE (buildPacket (pipe_contract::kPacketMagic, nullptr, 0x80000000u).empty());
    EXPECT_EQ (toHex (buildPacket (pipe_contract::kPacketMagic, nullptr, 0)), "2C 9E B4 F2 00 00 00 00");
}

TEST (PacketFramer, DroppingAPartialPacketCountsItsBytesAndReadsTheNextByteAsAHeader)
{
    struct Case
    {
        const char* name;
        std::string partial;
        std::size_t dropped;
    };

    const std::vector<Case> cases = {
        {"nothing", "", 0},
        {"part of a header", fromHex ("2C 9E B4"), 3},
        {"a whole header", fromHex ("2C 9E B4 F2 04 00 00 00"), 8},
        {"a header and part of its payload", fromHex ("2C 9E B4 F2 04 00 00 00 08 03"), 10},
        {"part of a packet being skipped", fromHex ("2C 9E B4 F2 00 01 00 00 AA BB CC"), 11},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        PacketFramer framer (pipe_contract::kPacketMagic, 16);
        framer.feed (c.partial.data(), c.partial.size());
        EXPECT_EQ (framer.isMidPacket(), c.dropped > 0);

        const auto eventsBefore = drain (framer);
        EXPECT_EQ (framer.dropPartialPacket(), c.dropped);
        EXPECT_FALSE (framer.isMidPacket());

        const auto good = fromHex (kGood);
        framer.feed (good.data(), good.size());
        EXPECT_EQ (drain (framer), (std::vector<std::string>{"08 03"}));
        EXPECT_LE (eventsBefore.size(), 1u);
    }
}
