#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PacketBuilder.h"
#include "pipe/PacketInbox.h"
#include "pipe/PipeReader.h"

namespace
{
using Clock = std::chrono::steady_clock;

struct Outcome
{
    std::atomic<int> packets{0}, failures{0};

    PipeReader::Callbacks callbacks()
    {
        PipeReader::Callbacks c;
        c.packetReceived = [this] (std::vector<std::uint8_t>&&)
        { ++packets; };
        c.readFailed = [this]
        { ++failures; };
        return c;
    }
};

bool waitFor (const std::function<bool()>& condition)
{
    const auto deadline = Clock::now() + std::chrono::seconds (3);

    while (!condition() && Clock::now() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    return condition();
}
} // namespace

TEST (PipeReader, StopWakesAnIdleReaderAtOnce)
{
    int ends[2];
    ASSERT_EQ (::pipe (ends), 0);
    ASSERT_EQ (fcntl (ends[0], F_SETFL, O_NONBLOCK), 0);

    Outcome outcome;
    {
        PipeReader reader (ends[0], pipe_contract::kPacketMagic, outcome.callbacks());
        ASSERT_TRUE (reader.start());

        const auto packet = buildPacket (pipe_contract::kPacketMagic, "ab", 2);
        ASSERT_EQ (::write (ends[1], packet.data(), packet.size()), static_cast<ssize_t> (packet.size()));
        ASSERT_TRUE (waitFor ([&]
                              { return outcome.packets == 1; }));

        const auto start = Clock::now();
        reader.stop();
        EXPECT_LT (std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count(), 200);
    }

    EXPECT_EQ (outcome.failures, 0);
    ::close (ends[0]);
    ::close (ends[1]);
}

TEST (PipeReader, FailuresOtherThanNoDataAreReportedOnceAndEndTheThread)
{
    struct Case
    {
        const char* what;
        std::function<int()> makeFd;
    };

    const Case cases[] = {
        {"read error (a directory)", []
         { return ::open ("/tmp", O_RDONLY | O_DIRECTORY); }},
        {"end of file (no writer left)", []
         {
             int ends[2];
             EXPECT_EQ (::pipe (ends), 0);
             ::close (ends[1]);
             return ends[0];
         }},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const int fd = c.makeFd();
        ASSERT_GE (fd, 0);

        Outcome outcome;
        PipeReader reader (fd, pipe_contract::kPacketMagic, outcome.callbacks());
        ASSERT_TRUE (reader.start());
        ASSERT_TRUE (waitFor ([&]
                              { return outcome.failures > 0; }));

        std::this_thread::sleep_for (std::chrono::milliseconds (20));
        EXPECT_EQ (outcome.failures, 1);
        EXPECT_EQ (outcome.packets, 0);
        reader.stop();
        ::close (fd);
    }
}

// The reader holds the FIFO open for writing only while no client is there: a partial packet
// is kept for as long as its writer stays, however long it pauses, and dropped once its writer
// has closed the FIFO, so the next client's packet is read whole; each leaving is told once.
TEST (PipeReader, APartialPacketIsDroppedOnlyOnceItsWriterHasLeftSoTheNextPacketIsReadWhole)
{
    char folder[] = "/tmp/bv-reader-XXXXXX";
    ASSERT_NE (::mkdtemp (folder), nullptr);
    const std::string fifo = std::string (folder) + "/in";
    ASSERT_EQ (::mkfifo (fifo.c_str(), 0600), 0);
    const int readFd = ::open (fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE (readFd, 0);

    std::atomic<int> packets{0}, left{0}, failures{0};
    std::string lastPayload;
    std::mutex payloadLock;
    PipeReader::Callbacks callbacks;
    callbacks.packetReceived = [&] (std::vector<std::uint8_t>&& block)
    {
        const std::lock_guard<std::mutex> lock (payloadLock);
        lastPayload.assign (block.begin(), block.end());
        ++packets;
    };
    callbacks.readFailed = [&]
    { ++failures; };
    callbacks.clientLeft = [&]
    { ++left; };
    callbacks.holdOpen = [&]
    { return UniqueFd (::open (fifo.c_str(), O_WRONLY | O_NONBLOCK)); };

    PipeReader reader (readFd, pipe_contract::kPacketMagic, std::move (callbacks));
    ASSERT_TRUE (reader.start());

    auto lastIs = [&] (const std::string& expected)
    {
        const std::lock_guard<std::mutex> lock (payloadLock);
        return lastPayload == expected;
    };

    // A writer that pauses inside a header, then carries on.
    {
        const UniqueFd writer (::open (fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ASSERT_TRUE (writer.isValid());
        const auto slow = buildPacket (pipe_contract::kPacketMagic, "ab", 2);
        ASSERT_EQ (::write (writer.get(), slow.data(), 3), 3);
        std::this_thread::sleep_for (std::chrono::milliseconds (300));
        ASSERT_EQ (::write (writer.get(), slow.data() + 3, slow.size() - 3), static_cast<ssize_t> (slow.size() - 3));
        ASSERT_TRUE (waitFor ([&]
                              { return packets == 1; }));
        EXPECT_TRUE (lastIs ("ab"));
        EXPECT_EQ (left, 0);
    }
    ASSERT_TRUE (waitFor ([&]
                          { return left == 1; }));

    // A writer that leaves half a packet behind: its half is not taken for the start of the
    // next client's packet.
    {
        const UniqueFd writer (::open (fifo.c_str(), O_WRONLY | O_NONBLOCK));
        const auto half = buildPacket (pipe_contract::kPacketMagic, "xyz", 3).substr (0, 9);
        ASSERT_EQ (::write (writer.get(), half.data(), half.size()), static_cast<ssize_t> (half.size()));
    }
    ASSERT_TRUE (waitFor ([&]
                          { return left == 2; }));
    {
        const UniqueFd writer (::open (fifo.c_str(), O_WRONLY | O_NONBLOCK));
        const auto next = buildPacket (pipe_contract::kPacketMagic, "cd", 2);
        ASSERT_EQ (::write (writer.get(), next.data(), next.size()), static_cast<ssize_t> (next.size()));
        ASSERT_TRUE (waitFor ([&]
                              { return packets == 2; }));
    }

    ASSERT_TRUE (waitFor ([&]
                          { return left == 3; }));
    std::this_thread::sleep_for (std::chrono::milliseconds (20));
    reader.stop();
    EXPECT_TRUE (lastIs ("cd"));
    EXPECT_EQ (left, 3);
    EXPECT_EQ (failures, 0);

    ::close (readFd);
    ::unlink (fifo.c_str());
    ::rmdir (folder);
}

// A packet read in part just before the inbox filled waits for room with the reader, and
// its rest is taken once reading resumes, however long the wait was.
TEST (PipeReader, APartialPacketWaitingForRoomIsFinishedOnceReadingResumes)
{
    int ends[2];
    ASSERT_EQ (::pipe (ends), 0);
    ASSERT_EQ (fcntl (ends[0], F_SETFL, O_NONBLOCK), 0);

    constexpr int kWaitMs = 100;
    auto inbox = std::make_shared<PacketInbox> (1, 1024 * 1024);
    std::atomic<int> packets{0};

    PipeReader::Callbacks callbacks;
    callbacks.packetReceived = [&] (std::vector<std::uint8_t>&& block)
    {
        inbox->push (std::move (block));
        ++packets;
    };
    callbacks.hasRoom = [inbox] (std::size_t partial)
    { return inbox->hasRoom (partial); };

    PipeReader reader (ends[0], pipe_contract::kPacketMagic, std::move (callbacks));
    inbox->onRoomAgain (reader.waker());
    ASSERT_TRUE (reader.start());

    // One whole packet fills the inbox; half of the next is read with it.
    const auto second = buildPacket (pipe_contract::kPacketMagic, "second", 6);
    const auto first = buildPacket (pipe_contract::kPacketMagic, "first", 5) + second.substr (0, 10);
    ASSERT_EQ (::write (ends[1], first.data(), first.size()), static_cast<ssize_t> (first.size()));
    ASSERT_TRUE (waitFor ([&]
                          { return packets == 1; }));

    // A long while without room, then room, and the rest soon after.
    std::this_thread::sleep_for (std::chrono::milliseconds (kWaitMs * 3));
    auto taken = inbox->pop();
    ASSERT_TRUE (taken.has_value());
    inbox->release (taken->size());

    std::this_thread::sleep_for (std::chrono::milliseconds (kWaitMs / 4));
    const auto rest = second.substr (10);
    ASSERT_EQ (::write (ends[1], rest.data(), rest.size()), static_cast<ssize_t> (rest.size()));

    ASSERT_TRUE (waitFor ([&]
                          { return packets == 2; }));
    const auto secondTaken = inbox->pop();
    ASSERT_TRUE (secondTaken.has_value());
    EXPECT_EQ (std::string (secondTaken->begin(), secondTaken->end()), "second");

    reader.stop();
    ::close (ends[0]);
    ::close (ends[1]);
}

// A writer far faster than the consumer: the reader stops reading while the inbox is full,
// so what waits in memory stays near the bound and the rest waits in the pipe (the writer
// blocks); as the consumer drains, reading resumes, and every packet arrives, in order.
TEST (PipeReader, StopsReadingWhileTheInboxIsFullAndLosesNothing)
{
    int ends[2];
    ASSERT_EQ (::pipe (ends), 0);
    ASSERT_EQ (fcntl (ends[0], F_SETFL, O_NONBLOCK), 0);

    constexpr std::size_t bound = 64;
    constexpr int total = 20000;
    auto inbox = std::make_shared<PacketInbox> (bound, 1024 * 1024);
    std::atomic<std::size_t> mostCounted{0};

    PipeReader::Callbacks callbacks;
    callbacks.packetReceived = [&] (std::vector<std::uint8_t>&& block)
    {
        inbox->push (std::move (block));
        mostCounted = std::max (mostCounted.load(), inbox->countedPackets());
    };
    callbacks.hasRoom = [inbox] (std::size_t partial)
    { return inbox->hasRoom (partial); };

    PipeReader reader (ends[0], pipe_contract::kPacketMagic, std::move (callbacks));
    inbox->onRoomAgain (reader.waker());
    ASSERT_TRUE (reader.start());

    std::thread writer ([&]
                        {
                            for (int i = 0; i < total; ++i)
                            {
                                const auto text = std::to_string (i);
                                const auto packet = buildPacket (pipe_contract::kPacketMagic, text.data(), text.size());
                                ASSERT_EQ (::write (ends[1], packet.data(), packet.size()), static_cast<ssize_t> (packet.size()));
                            } });

    // Nothing is consumed for a while: the reader must have stopped near the bound.
    std::this_thread::sleep_for (std::chrono::milliseconds (200));
    const auto heldWhileStalled = inbox->countedPackets();

    // One read of the pipe can bring in at most what fits in its 64 KiB read chunk.
    const std::size_t oneRead = PipeReader::kReadChunkSize / 9;
    EXPECT_GE (heldWhileStalled, bound);
    EXPECT_LE (heldWhileStalled, bound + oneRead);

    int next = 0;
    bool inOrder = true;
    const auto deadline = Clock::now() + std::chrono::seconds (20);

    while (next < total && Clock::now() < deadline)
    {
        auto packet = inbox->pop();

        if (!packet)
        {
            std::this_thread::sleep_for (std::chrono::microseconds (100));
            continue;
        }

        inOrder = inOrder && std::string (packet->begin(), packet->end()) == std::to_string (next);
        ++next;
        inbox->release (packet->size());
    }

    writer.join();
    EXPECT_EQ (next, total);
    EXPECT_TRUE (inOrder);
    EXPECT_LE (mostCounted.load(), bound + oneRead);
    ::close (ends[0]);
    ::close (ends[1]);
}

// A packet larger than the inbox's byte bound still gets through once the inbox is empty,
// and the bytes of a packet read in part count against the bound.
TEST (PacketInbox, RoomFollowsCountsBytesAndPartialPackets)
{
    PacketInbox inbox (4, 1000);
    int woken = 0;
    inbox.onRoomAgain ([&]
                       { ++woken; });

    EXPECT_TRUE (inbox.hasRoom (5000)); // nothing counted: any packet may come in
    inbox.push (std::vector<std::uint8_t> (5000));
    EXPECT_FALSE (inbox.hasRoom (0));

    auto big = inbox.pop();
    ASSERT_TRUE (big.has_value());
    EXPECT_FALSE (inbox.hasRoom (0)); // still counted while it is being handled
    inbox.release (big->size());
    EXPECT_EQ (woken, 1);
    EXPECT_TRUE (inbox.hasRoom (0));

    inbox.push (std::vector<std::uint8_t> (100));
    EXPECT_TRUE (inbox.hasRoom (800));
    EXPECT_FALSE (inbox.hasRoom (900)); // 100 counted + 900 in part reach the bound

    for (int i = 0; i < 3; ++i)
        inbox.push (std::vector<std::uint8_t> (1));

    EXPECT_FALSE (inbox.hasRoom (0)); // four packets

    // Woken once, when half the bound is reached: not per packet, nor only once empty.
    for (int i = 0; i < 4; ++i)
    {
        auto packet = inbox.pop();
        inbox.release (packet->size());
        EXPECT_EQ (woken, i == 0 ? 1 : 2) << "after " << i + 1 << " of 4 released";
    }

    EXPECT_TRUE (inbox.isEmpty());
}

// Replies not yet written count like packets: with the inbox full of them the reader has no
// room, and no packet is handed on (however small) until the writer has taken some; with no
// reply held, a packet is always handed on, so a full inbox of requests still drains.
TEST (PacketInbox, HeldRepliesFillTheBoundAndHoldBackTheNextPacketUntilWritten)
{
    PacketInbox inbox (8, 1000);
    int deliveries = 0;
    inbox.onDeliveryRoom ([&]
                          { ++deliveries; });

    for (int i = 0; i < 2; ++i)
        inbox.push (std::vector<std::uint8_t> (600));

    EXPECT_TRUE (inbox.mayHandOn()); // the requests alone fill the bound, no reply held

    inbox.hold (500);
    inbox.hold (500);
    inbox.release (inbox.pop()->size());
    inbox.release (inbox.pop()->size());
    EXPECT_EQ (inbox.countedBytes(), 1000u);
    EXPECT_FALSE (inbox.hasRoom (0));

    inbox.push (std::vector<std::uint8_t> (10));
    EXPECT_FALSE (inbox.mayHandOn());
    EXPECT_EQ (deliveries, 0);

    inbox.releaseReply (500); // one reply written: room again, and the delivery is told once
    EXPECT_EQ (deliveries, 1);
    EXPECT_TRUE (inbox.mayHandOn());
    inbox.releaseReply (500);
    EXPECT_EQ (deliveries, 1);

    // With every reply released, requests alone filling the bound are handed on again.
    inbox.release (inbox.pop()->size());
    inbox.push (std::vector<std::uint8_t> (1200));
    EXPECT_TRUE (inbox.mayHandOn());
}
