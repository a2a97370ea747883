// How packets reach the message thread: in runs, bounded per delivery so that a burst never
// holds REAPER's main thread for long, and with one opening of the reply FIFO per run.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include "FdTransfer.h"
#include "PacketBuilder.h"
#include "PipeClient.h"
#include "PipeTestSupport.h"
#include "UniqueFd.h"

using namespace pipe_testing;

namespace
{
std::string burstOf (int count, const std::string& prefix)
{
    std::string bytes;

    for (int i = 0; i < count; ++i)
    {
        const auto payload = prefix + std::to_string (i);
        bytes += buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
    }

    return bytes;
}

// Records (and, if asked, answers) messages like RecordingConnection, then takes a while
// over each.
class SlowConnection : public RecordingConnection
{
public:
    explicit SlowConnection (std::chrono::microseconds perMessage, bool echoReplies = false)
        : RecordingConnection (false, echoReplies)
        , delay (perMessage)
    {
    }

    void messageReceived (const std::vector<std::uint8_t>& message) override
    {
        RecordingConnection::messageReceived (message);
        std::this_thread::sleep_for (delay);
    }

private:
    std::chrono::microseconds delay;
};

// Records each message, with rounds of its own, and answers it with a large reply that
// begins with the message.
class LargeReplyConnection : public RecordingConnection
{
public:
    explicit LargeReplyConnection (std::size_t replySize)
        : RecordingConnection (true)
        , size (replySize)
    {
    }

    void messageReceived (const std::vector<std::uint8_t>& message) override
    {
        RecordingConnection::messageReceived (message);
        auto reply = message;
        reply.resize (size, 'x');
        sendMessage (reply);
    }

private:
    const std::size_t size;
};

class PacketDeliveryTest : public ::testing::Test
{
protected:
    const std::string name = uniquePipeName();
    const std::string outPath = "/tmp/" + name + "_out";

    void TearDown() override
    {
        ::unlink (("/tmp/" + name + "_in").c_str());
        ::unlink (outPath.c_str());
    }

    // Delivers once; the number of messages handed on by it.
    static std::size_t deliverOnce (RecordingConnection& connection)
    {
        const auto before = connection.messageCount();
        main_thread::runRound (16);
        return connection.messageCount() - before;
    }

    // Lets the reader thread take in everything written so far.
    static void letReaderCatchUp()
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (300));
    }
};
} // namespace

TEST_F (PacketDeliveryTest, BurstLargerThanOneDeliveryArrivesWholeAndInOrderOverSeveral)
{
    constexpr int kBurst = DeliveryBudget::kMaxPacketsPerRound * 2 + 50;
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.sendRaw (burstOf (kBurst, "p"), 2000));
    letReaderCatchUp();

    std::vector<std::size_t> perDelivery;

    for (int round = 0; round < 100 && connection.messageCount() < kBurst; ++round)
        perDelivery.push_back (deliverOnce (connection));

    ASSERT_EQ (connection.messageCount(), static_cast<std::size_t> (kBurst));
    EXPECT_GE (perDelivery.size(), 3u);

    for (auto count : perDelivery)
        EXPECT_LE (count, static_cast<std::size_t> (DeliveryBudget::kMaxPacketsPerRound));

    const auto messages = connection.receivedMessages();

    for (int i = 0; i < kBurst; ++i)
        ASSERT_EQ (messages[static_cast<std::size_t> (i)], "p" + std::to_string (i));
}

TEST_F (PacketDeliveryTest, SlowHandlersEndADeliveryOnceItsTimeIsUsedUp)
{
    // Each message takes half the budget of a delivery: a delivery hands on a few, never all.
    constexpr int kBurst = 20;
    SlowConnection connection (std::chrono::microseconds (DeliveryBudget::kTimePerRound.count() / 2));
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.sendRaw (burstOf (kBurst, "s"), 2000));
    letReaderCatchUp();

    const auto first = deliverOnce (connection);
    EXPECT_GE (first, 1u);
    EXPECT_LE (first, 3u);

    EXPECT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == kBurst; }));
    EXPECT_EQ (connection.receivedMessages().back(), "s" + std::to_string (kBurst - 1));
}

TEST_F (PacketDeliveryTest, RepliesOfARunShareOneOpeningThatIsClosedAfterwards)
{
    constexpr int kBurst = 100;
    RecordingConnection connection (false, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.sendRaw (burstOf (kBurst, "r"), 2000));
    letReaderCatchUp();

    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == kBurst; }));

    for (int i = 0; i < kBurst; ++i)
        ASSERT_EQ (client.receive (1000), std::optional<std::string> ("re:r" + std::to_string (i)));

    // Only the client's own end is left open on the reply FIFO once all is written.
    EXPECT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0 && descriptorsOpenOn (outPath) == 1; }));

    // A reply outside any delivery still gets through.
    ASSERT_TRUE (connection.sendMessage (std::vector<std::uint8_t>{'l', 'a', 't', 'e'}));
    EXPECT_EQ (client.receive (1000), std::optional<std::string> ("late"));
    EXPECT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0 && descriptorsOpenOn (outPath) == 1; }));
}

TEST_F (PacketDeliveryTest, RepliesToAClientThatLeftAreDroppedAndTheNextClientIsServed)
{
    RecordingConnection connection (false, true);
    ASSERT_TRUE (connection.makePipe (name, 200).wasOk());

    {
        PipeClient leaving;
        ASSERT_TRUE (leaving.open (name, 1000));
        ASSERT_TRUE (leaving.sendRaw (burstOf (2, "gone"), 1000));
        letReaderCatchUp();
    }

    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 2; }));

    // Without a reader they wait one deadline (200 ms here) in all, then go.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0; }));
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::milliseconds (400));

    PipeClient next;
    ASSERT_TRUE (next.open (name, 1000));
    ASSERT_TRUE (next.send ("hello", 1000));
    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 3; }));
    EXPECT_EQ (next.receive (1000), std::optional<std::string> ("re:hello"));
    EXPECT_EQ (next.receive (100), std::nullopt);
}

TEST_F (PacketDeliveryTest, ClientAnsweringEachReplyAtOnceCannotKeepOneRoundGoing)
{
    // Requests that arrive while a round delivers are queued behind it by JUCE in the same
    // round; the round's budget still ends it. Each message takes a tenth of the budget after
    // its reply is out, so the client's next request always arrives during the round.
    constexpr int kExchanges = 300;
    constexpr auto kPerMessage = std::chrono::microseconds (DeliveryBudget::kTimePerRound.count() / 10);
    SlowConnection connection (kPerMessage, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    std::atomic<int> answered{0};
    std::thread clientThread ([&]
                              {
                                  PipeClient client;

                                  if (! client.open (name, 1000))
                                      return;

                                  for (int i = 0; i < kExchanges; ++i)
                                  {
                                      const auto request = "q" + std::to_string (i);

                                      if (! client.send (request, 1000) || client.receive (2000) != "re:" + request)
                                          return;

                                      ++answered;
                                  } });

    std::size_t mostInOneRound = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (20);

    while (answered < kExchanges && std::chrono::steady_clock::now() < deadline)
    {
        mostInOneRound = std::max (mostInOneRound, deliverOnce (connection));
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    clientThread.join();
    EXPECT_EQ (answered, kExchanges);
    EXPECT_LE (mostInOneRound, 11u);
}

// A run whose replies are all written before it ends lets the reply FIFO go as it ends.
TEST_F (PacketDeliveryTest, ARunWhoseRepliesAreWrittenBeforeItEndsLetsTheReplyFifoGo)
{
    SlowConnection connection (std::chrono::milliseconds (50), true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send ("one", 1000));
    letReaderCatchUp();
    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 1; }));

    EXPECT_EQ (client.receive (1000), std::optional<std::string> ("re:one"));
    EXPECT_TRUE (waitUntil ([&]
                            { return descriptorsOpenOn (outPath) == 1; }));
}

// A small request can make a large reply. With a client that holds the reply FIFO open and
// reads nothing, requests stop being handed on once the replies not yet written fill the
// inbox's bound, so what the extension holds stays within the bound plus one reply; none is
// lost, and all follow in order once the client reads.
TEST_F (PacketDeliveryTest, RepliesNotYetTakenHoldBackTheRequestsOnceTheyFillTheBound)
{
    constexpr int kRequests = 40;
    constexpr std::size_t kReplySize = 1024 * 1024;
    constexpr std::size_t kMostHeld = PacketInbox::kMaxBytes / kReplySize + 1;
    LargeReplyConnection connection (kReplySize);
    ASSERT_TRUE (connection.makePipe (name, 20000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.sendRaw (burstOf (kRequests, "q"), 2000));

    ASSERT_TRUE (connection.waitForMessages (kMostHeld - 1));
    std::this_thread::sleep_for (std::chrono::milliseconds (500));
    EXPECT_LE (connection.messageCount(), kMostHeld);
    EXPECT_LE (connection.unwrittenReplies(), kMostHeld);

    for (int i = 0; i < kRequests; ++i)
    {
        const auto reply = client.receive (5000);
        ASSERT_TRUE (reply.has_value()) << i;
        ASSERT_EQ (reply->size(), kReplySize);
        ASSERT_EQ (reply->substr (0, reply->find ('x')), "q" + std::to_string (i));
    }

    EXPECT_EQ (connection.messageCount(), std::size_t (kRequests));
}

// A client that leaves with more replies owed than its reply FIFO holds, each small enough to
// go in whole or not at all, long before their deadline: none of them is handed to the next
// client, which gets its own reply first. It leaves both FIFOs, or the reply FIFO alone.
TEST_F (PacketDeliveryTest, RepliesOwedToAClientThatLeftNeverReachTheNextClient)
{
    for (const bool keepsItsRequestEnd : {false, true})
    {
        SCOPED_TRACE (keepsItsRequestEnd ? "the reply FIFO alone" : "both FIFOs");
        const auto pipeName = uniquePipeName();
        RecordingConnection connection (true, true);
        ASSERT_TRUE (connection.makePipe (pipeName, 20000).wasOk());
        UniqueFd replies (::open (pipe_contract::replyFifoPath (pipeName).c_str(), O_RDONLY | O_NONBLOCK));
        UniqueFd requests (::open (pipe_contract::requestFifoPath (pipeName).c_str(), O_WRONLY | O_NONBLOCK));
        const auto burst = burstOf (100, std::string (2000, 'g'));
        for (std::size_t written = 0; fd_transfer::writeAll (requests.get(), burst.data(), burst.size(), written) == EAGAIN;)
        {
            pollfd room{requests.get(), POLLOUT, 0};
            ::poll (&room, 1, 100);
        }
        ASSERT_TRUE (connection.waitForMessages (100));
        ASSERT_GT (connection.unwrittenReplies(), 0u);

        // They are dropped as soon as the pipe sees the reader gone, long before their
        // deadline (20 s); the next client comes after that.
        replies.reset();
        if (!keepsItsRequestEnd)
            requests.reset();
        ASSERT_TRUE (waitUntil ([&]
                                { return connection.unwrittenReplies() == 0; },
                                1000));

        PipeClient next;
        ASSERT_TRUE (next.open (pipeName, 1000));
        ASSERT_TRUE (next.send ("hello", 1000));
        EXPECT_EQ (next.receive (2000), std::optional<std::string> ("re:hello"));
    }
}
