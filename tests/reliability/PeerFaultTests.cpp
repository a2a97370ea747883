// Clients that misbehave on the pipe, against the real module in the stand-in host: no
// fault holds REAPER's main thread for more than a round's usual work (replies are written
// by a thread of the pipe's own), and a client that comes afterwards is served completely
// and in order.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PacketBuilder.h"
#include "PacketFramer.h"
#include "ReliabilityTesting.h"
#include "reaper.pb.h"

using namespace reliability_testing;
using namespace std::chrono_literals;

namespace
{
constexpr int kTimeoutMs = 5000;

// Replies are written by the pipe's own thread, so no fault makes the main thread wait for a
// client. The bounds are far above a round's work on a busy machine or under emulation (tens
// of ms at most) and far below what a main thread that waited would lose: a send that no one
// reads waits a deadline (1,000 ms).
constexpr auto kMostOneFaultMayCost = 200ms;

// However many replies a fault leaves unread, together they cost the main thread no wait at
// all; waiting even one deadline would take 1,000 ms.
constexpr auto kMostAllUnreadRepliesMayCost = 700ms;

// A round that hands on requests and queues their replies, whatever the client does with
// them. (Writing replies on the main thread, a slow reader held each round until it read:
// 1,000 ms or more.)
constexpr auto kLongestRoundWithASlowClient = 200ms;

// How long a reply may wait for its client to take it before it is dropped.
constexpr auto kReplyDeadline = 1000ms;

struct Exchange
{
    std::string request;
    ExpectedReply reply;
};

class PeerFaultTest : public testing::Test
{
protected:
    void SetUp() override
    {
        harness.host().addTrack ("One");
        harness.host().setProjectPath (projectPath);
        ASSERT_TRUE (harness.load().ok());
    }

    // Requests of every kind that is answered, in an order where a lost or swapped reply
    // shows.
    std::vector<Exchange> mixedExchanges (int count, const std::string& tag)
    {
        std::vector<Exchange> exchanges;

        for (int i = 0; i < count; ++i)
        {
            switch (i % 4)
            {
                case 0:
                    exchanges.push_back ({request_payloads::version(), {ExpectedReply::Kind::version, {}}});
                    break;
                case 1:
                    exchanges.push_back ({request_payloads::session(), {ExpectedReply::Kind::responseText, projectPath}});
                    break;
                case 2:
                    exchanges.push_back ({request_payloads::openInMediaExplorer ("/" + tag + "/" + std::to_string (i)),
                                          {ExpectedReply::Kind::commandResult, {}}});
                    break;
                default:
                    exchanges.push_back ({request_payloads::selectedItem(), {ExpectedReply::Kind::responseText, "null"}});
                    break;
            }
        }

        return exchanges;
    }

    // A fresh client sends every request at once, then checks each reply in order, while
    // this thread plays REAPER's main loop.
    void expectServedInOrder (const std::vector<Exchange>& exchanges)
    {
        std::vector<std::string> problems;

        ClientThread client ([&]
                             {
            PipeClient pipe;

            if (! pipe.open (ExtensionHarness::pipeName, kTimeoutMs))
            {
                problems.push_back ("cannot open the pipe");
                return;
            }

            for (const auto& exchange : exchanges)
                if (! pipe.send (exchange.request, kTimeoutMs))
                    problems.push_back ("a request could not be written");

            for (std::size_t i = 0; i < exchanges.size(); ++i)
            {
                const auto reply = pipe.receive (kTimeoutMs);

                if (! reply)
                {
                    problems.push_back ("no reply to request " + std::to_string (i));
                    return;
                }

                const auto wrong = request_payloads::mismatch (*reply, exchanges[i].reply);

                if (! wrong.empty())
                    problems.push_back ("reply " + std::to_string (i) + ": " + wrong);
            }

            if (pipe.receive (200))
                problems.push_back ("a reply more than requests"); });

        EXPECT_TRUE (harness.pumpUntil ([&]
                                        { return client.done(); },
                                        30s));
        client.join();
        EXPECT_EQ (problems, std::vector<std::string>());
    }

    void reportLongestTick (const std::string& fault)
    {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        std::printf ("%s: longest main-thread tick %lld ms, all ticks %lld ms\n", fault.c_str(),
                     (long long) duration_cast<milliseconds> (harness.longestTick()).count(),
                     (long long) duration_cast<milliseconds> (harness.totalTickTime()).count());
    }

    std::string projectPath = "/Projects/Film";
    ExtensionHarness harness{kTimedEmptyProject};
};

struct PartialPacket
{
    const char* name;
    std::string bytes;
    std::string stallLine = {}; // what the log says once it has waited in it long enough
};

std::string header (std::uint32_t length)
{
    return packetHeader (pipe_contract::kPacketMagic, length);
}
} // namespace

TEST_F (PeerFaultTest, PartOfAPacketLeftByAVanishedClientIsDroppedAndTheNextClientIsServed)
{
    const std::vector<PartialPacket> faults = {
        {"three bytes of a header", header (10).substr (0, 3)},
        {"a header without its payload", header (10)},
        {"a header and half its payload", header (10) + request_payloads::version().substr (0, 1) + "\x01\x02\x03\x04"},
        {"part of an oversize packet being skipped", header (0x7ffffff0) + std::string (100, 'z')},
    };

    std::size_t droppedBefore = 0;

    for (const auto& fault : faults)
    {
        SCOPED_TRACE (fault.name);
        harness.resetTickStatistics();

        ClientThread vanishing ([&]
                                {
            PipeClient pipe;
            ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, kTimeoutMs));
            ASSERT_TRUE (pipe.sendRaw (fault.bytes, kTimeoutMs)); });

        // Its part packet is dropped once it has gone, with one line each time.
        auto dropped = [&]
        {
            const auto log = harness.logText();
            std::size_t count = 0;

            for (auto at = log.find ("Dropped an incomplete packet"); at != std::string::npos; at = log.find ("Dropped an incomplete packet", at + 1))
                ++count;

            return count;
        };
        EXPECT_TRUE (harness.pumpUntil ([&]
                                        { return vanishing.done() && dropped() == droppedBefore + 1; },
                                        10s))
            << harness.logText();
        ++droppedBefore;
        vanishing.join();

        expectServedInOrder (mixedExchanges (40, fault.name));
        EXPECT_LT (harness.longestTick(), kMostOneFaultMayCost);
        reportLongestTick (fault.name);
    }
}

// A client that stops in the middle of a packet and stays: once nothing has come for 2 s the
// log says so, and the packets other clients sent into it meanwhile are read, and later ones
// at once.
TEST_F (PeerFaultTest, AClientStuckMidPacketHoldsUpTheOthersOnlyUntilItCountsAsStalled)
{
    const std::string holds = " bytes: a program holds the request FIFO open without finishing it";
    const std::vector<PartialPacket> faults = {
        {"a header of 65,536 bytes", header (65536), "more bytes of a packet of 65536" + holds},
        {"a header of 0x7fffffff bytes", header (0x7fffffff), "more bytes of a packet of 2147483647" + holds},
        {"a header and part of its payload", header (4096) + request_payloads::version(), "more bytes of a packet of 4096" + holds},
    };

    // The lines that end with this and begin as the stall's line does.
    const auto count = [] (const std::vector<std::string>& lines, const std::string& start, const std::string& end)
    {
        return std::count_if (lines.begin(), lines.end(), [&] (const std::string& line)
                              { return line.rfind (start, 0) == 0 && line.size() >= end.size() && line.compare (line.size() - end.size(), end.size(), end) == 0; });
    };

    for (std::size_t i = 0; i < faults.size(); ++i)
    {
        SCOPED_TRACE (faults[i].name);
        PipeClient stuck;
        ASSERT_TRUE (stuck.open (ExtensionHarness::pipeName, kTimeoutMs));
        ASSERT_TRUE (stuck.sendRaw (faults[i].bytes, kTimeoutMs));

        expectServedInOrder (mixedExchanges (8, faults[i].name));
        const auto lines = harness.logLines();
        EXPECT_EQ (count (lines, "Waiting 2 s for ", faults[i].stallLine), 1) << harness.logText();
        EXPECT_EQ (count (lines, "Dropped an incomplete packet of ", " bytes: another packet began inside it after it stalled"), static_cast<long> (i + 1));

        expectServedInOrder (mixedExchanges (8, faults[i].name));
    }
}

TEST_F (PeerFaultTest, ASlowClientWritingAPacketInPiecesIsServed)
{
    const auto packet = buildPacket (pipe_contract::kPacketMagic, request_payloads::session().data(), request_payloads::session().size());
    std::string problem;

    ClientThread slow ([&]
                       {
        PipeClient pipe;
        if (! pipe.open (ExtensionHarness::pipeName, kTimeoutMs))
        {
            problem = "cannot open the pipe";
            return;
        }

        // One byte at a time, with a pause inside the header longer than the reader once
        // allowed a partial packet (2 s): a client that is still there is waited for.
        for (std::size_t i = 0; i < packet.size(); ++i)
        {
            pipe.sendRaw (std::string (1, packet[i]), kTimeoutMs);
            std::this_thread::sleep_for (i == 2 ? 2600ms : 400ms);
        }

        const auto reply = pipe.receive (kTimeoutMs);
        problem = reply ? request_payloads::mismatch (*reply, {ExpectedReply::Kind::responseText, projectPath}) : "no reply"; });

    EXPECT_TRUE (harness.pumpUntil ([&]
                                    { return slow.done(); },
                                    30s));
    slow.join();
    EXPECT_EQ (problem, "");
    EXPECT_EQ (harness.logText().find ("Dropped an incomplete packet"), std::string::npos);
}

TEST_F (PeerFaultTest, AClientThatStopsReadingUntilTheReplyFifoIsFullHoldsUpNoRound)
{
    // Replies of about 4 KB each: the reply FIFO is full after some 16 (64 KiB on Linux; on
    // macOS it holds about 8 KiB, two of them).
    projectPath = "/" + std::string (3990, 'p');
    harness.host().setProjectPath (projectPath);
    constexpr int kRequests = 60;

    PipeClient pipe;
    ClientThread flooding ([&]
                           {
        ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, kTimeoutMs));
        for (int i = 0; i < kRequests; ++i)
            ASSERT_TRUE (pipe.send (request_payloads::session(), kTimeoutMs)); });

    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return flooding.done() && harness.host().journal().countOf ("GetProjectPath") == kRequests; },
                                    60s));
    flooding.join();

    // The replies that did not fit wait for the client until their deadline, then go.
    harness.pumpFor (kReplyDeadline + 500ms);
    EXPECT_LT (harness.longestTick(), kLongestRoundWithASlowClient);
    EXPECT_LT (harness.totalTickTime(), kMostAllUnreadRepliesMayCost);
    reportLongestTick ("a client that stops reading");

    // What fitted arrives whole and in order; the rest was never written.
    int received = 0;

    while (auto reply = pipe.receive (300))
    {
        EXPECT_EQ (request_payloads::mismatch (*reply, {ExpectedReply::Kind::responseText, projectPath}), "");
        ++received;
    }

    EXPECT_GT (received, 0);
    EXPECT_LT (received, kRequests);
    pipe.close();

    harness.resetTickStatistics();
    expectServedInOrder (mixedExchanges (60, "after-flood"));
    EXPECT_LT (harness.longestTick(), kMostOneFaultMayCost);
}

TEST_F (PeerFaultTest, AClientThatClosesItsEndsMidStreamHoldsUpNoRoundAndTheNextIsServed)
{
    constexpr int kAnswered = 5, kLeftBehind = 25;
    auto explorerPath = [] (int i)
    { return "/left/" + std::to_string (i); };

    PipeClient pipe;
    ClientThread talking ([&]
                          {
        ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, kTimeoutMs));
        for (int i = 0; i < kAnswered; ++i)
        {
            ASSERT_TRUE (pipe.send (request_payloads::openInMediaExplorer (explorerPath (i)), kTimeoutMs));
            ASSERT_TRUE (pipe.receive (kTimeoutMs).has_value());
        } });

    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return talking.done(); },
                                    30s));
    talking.join();

    // More requests, then the client closes both ends before REAPER's main thread gets to
    // them (it does not run meanwhile): none of their replies has a reader.
    {
        ClientThread leaving ([&]
                              {
            for (int i = kAnswered; i < kAnswered + kLeftBehind; ++i)
                ASSERT_TRUE (pipe.send (request_payloads::openInMediaExplorer (explorerPath (i)), kTimeoutMs));
            pipe.close(); });
    }

    harness.resetTickStatistics();
    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return harness.host().project().explorerRequests.size() == kAnswered + kLeftBehind; },
                                    60s));
    harness.pumpFor (kReplyDeadline + 500ms);
    EXPECT_LT (harness.longestTick(), kLongestRoundWithASlowClient);
    EXPECT_LT (harness.totalTickTime(), kMostAllUnreadRepliesMayCost);
    reportLongestTick ("a client that closes its ends mid-stream");

    // Every request was carried out, in the order sent, though most replies had no reader.
    for (int i = 0; i < kAnswered + kLeftBehind; ++i)
        EXPECT_EQ (harness.host().project().explorerRequests[(std::size_t) i].file, explorerPath (i));

    harness.resetTickStatistics();
    expectServedInOrder (mixedExchanges (60, "after-close"));
    EXPECT_LT (harness.longestTick(), kMostOneFaultMayCost);
}

// A client that lets its replies fill the reply FIFO, then takes 4 KiB at a time with pauses
// between: REAPER's main thread never waits for it, and every reply arrives whole and in
// order, each within its deadline.
TEST_F (PeerFaultTest, ASlowReaderNeverHoldsTheMainThreadAndGetsEveryReplyWholeAndInOrder)
{
    constexpr int kRequests = 30; // about twice what the reply FIFO holds
    constexpr auto kPause = 100ms;

    // Spots of files that do not exist, answered with a failure text of about 4 KiB naming
    // the file, so a lost, cut or swapped reply shows.
    auto pathOf = [] (int i)
    {
        const auto prefix = "/missing/" + std::to_string (i) + "/";
        return prefix + std::string (4000 - prefix.size(), 'p');
    };

    bool filled = false;
    std::vector<std::string> problems;

    ClientThread slow ([&]
                       {
        PipeClient pipe;
        ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, kTimeoutMs));

        // A reader of its own, so that it takes exactly 4 KiB at a time.
        const int replies = ::open (ExtensionHarness::replyFifo, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE (replies, 0);

        for (int i = 0; i < kRequests; ++i)
            ASSERT_TRUE (pipe.send (request_payloads::spot (pathOf (i), "take"), kTimeoutMs));

        const auto fillDeadline = std::chrono::steady_clock::now() + 10s;

        while (! filled && std::chrono::steady_clock::now() < fillDeadline)
        {
            int waiting = 0;
            filled = ::ioctl (replies, FIONREAD, &waiting) == 0 && waiting >= 60 * 1024;
            std::this_thread::sleep_for (10ms);
        }

        PacketFramer framer (pipe_contract::kPacketMagic);
        int received = 0;
        const auto end = std::chrono::steady_clock::now() + 30s;

        while (received < kRequests && std::chrono::steady_clock::now() < end)
        {
            char piece[4096];
            const auto got = ::read (replies, piece, sizeof (piece));

            if (got > 0)
                framer.feed (piece, static_cast<std::size_t> (got));

            PacketFramer::Event event;

            while (framer.nextEvent (event))
            {
                BVReaper::ServerMessage reply;

                if (! reply.ParseFromArray (event.payload.data(), static_cast<int> (event.payload.size()))
                    || reply.error().description() != "Unable to find source file:" + pathOf (received))
                    problems.push_back ("reply " + std::to_string (received) + " is not the failure of its spot");

                ++received;
            }

            std::this_thread::sleep_for (kPause);
        }

        if (received != kRequests)
            problems.push_back (std::to_string (received) + " replies of " + std::to_string (kRequests));

        ::close (replies); });

    EXPECT_TRUE (harness.pumpUntil ([&]
                                    { return slow.done(); },
                                    60s));
    slow.join();
    EXPECT_TRUE (filled);
    EXPECT_EQ (problems, std::vector<std::string>());
    EXPECT_LT (harness.longestTick(), kLongestRoundWithASlowClient);
    reportLongestTick ("a slow reader");
}

// A failed spot's reply goes first, then its two log lines: while the reply waits behind a
// full reply FIFO, the log shows nothing of the failure; once the client has read, it does.
TEST_F (PeerFaultTest, AFailedSpotIsLoggedOnlyAfterItsReplyWasWritten)
{
    projectPath = "/" + std::string (3990, 'p');
    harness.host().setProjectPath (projectPath);
    constexpr int kFillers = 40;
    const std::string failure = "Invalid volume: must be a finite number not below 0";

    PipeClient pipe;
    ClientThread sending ([&]
                          {
        ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, kTimeoutMs));
        for (int i = 0; i < kFillers; ++i)
            ASSERT_TRUE (pipe.send (request_payloads::session(), kTimeoutMs));
        ASSERT_TRUE (pipe.send (request_payloads::spot ("/nowhere/tone.wav", "t", 0.0f, -1.0f), kTimeoutMs)); });

    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return sending.done() && harness.logText().find ("Spotting:/nowhere/tone.wav") != std::string::npos; },
                                    30s));
    sending.join();
    harness.pumpFor (200ms);
    EXPECT_EQ (harness.logText().find (failure), std::string::npos);

    int received = 0;
    ClientThread reading ([&]
                          {
        while (pipe.receive (2000))
            ++received; });
    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return reading.done(); },
                                    30s));
    reading.join();
    EXPECT_EQ (received, kFillers + 1);

    const auto lines = harness.logLines();
    const auto at = std::find_if (lines.begin(), lines.end(), [&] (const std::string& line)
                                  { return line.find (failure) != std::string::npos; });
    ASSERT_NE (at, lines.end());
    ASSERT_NE (at, lines.begin());
    EXPECT_NE ((at - 1)->find ("JUCE Assertion failure"), std::string::npos) << *(at - 1);
}
