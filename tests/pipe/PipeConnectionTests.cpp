#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "../support/Hex.h"
#include "PacketFramer.h"
#include "PipeClient.h"
#include "PipeTestSupport.h"

using namespace pipe_testing;
using testing_support::fromHex;

namespace
{
using Clock = std::chrono::steady_clock;

long long millisecondsSince (Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds> (Clock::now() - start).count();
}

std::vector<std::uint8_t> blockOf (const std::string& text)
{
    return std::vector<std::uint8_t> (text.begin(), text.end());
}

class PipeConnectionTest : public ::testing::Test
{
protected:
    const std::string name = uniquePipeName();
    const std::string inPath = "/tmp/" + name + "_in";
    const std::string outPath = "/tmp/" + name + "_out";

    void TearDown() override
    {
        ::unlink (inPath.c_str());
        ::unlink (outPath.c_str());
    }
};
} // namespace

TEST_F (PipeConnectionTest, PacketRoundTripWithCallbacksOnTheMessageThread)
{
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());
    EXPECT_TRUE (connection.isConnected());
    EXPECT_TRUE (pumpUntil ([&]
                            { return connection.made == 1; }));

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send (fromHex ("08 03"), 1000));
    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 1; }));

    EXPECT_EQ (connection.receivedMessages()[0], fromHex ("08 03"));
    EXPECT_TRUE (connection.onMessageThread[0]);

    ASSERT_TRUE (connection.sendMessage (blockOf ("reply")));
    EXPECT_EQ (client.receive (1000), std::optional<std::string> ("reply"));
    EXPECT_EQ (connection.lost, 0);
}

// The reader has the name debuggers and crash reports have always shown; the callbacks run
// on the main thread, whichever thread that is.
TEST_F (PipeConnectionTest, ReaderThreadIsNamedAndTheCallbacksRunOnTheMainThread)
{
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send ("ping", 1000));

    EXPECT_EQ (client.receive (2000), std::optional<std::string> ("re:ping"));
    ASSERT_TRUE (connection.waitForMessages (1));
    EXPECT_EQ (connection.made, 1);
    EXPECT_TRUE (connection.onMessageThread[0]);

    std::vector<std::string> threadNames;

    for (const auto& task : std::filesystem::directory_iterator ("/proc/self/task"))
    {
        std::ifstream comm (task.path() / "comm");
        std::string threadName;
        std::getline (comm, threadName);
        threadNames.push_back (threadName);
    }

    EXPECT_EQ (std::count (threadNames.begin(), threadNames.end(), "JUCE IPC"), 1);
}

TEST_F (PipeConnectionTest, MalformedHeadersNeverStopTheReader)
{
    RecordingConnection connection (true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));

    const char* const garbage[] = {
        "2C 9E B4 F2 00 00 00 00", // zero length
        "00 11 22 33 44 55 66 77", // wrong magic
        "2C 9E B4 F2 FF FF FF FF", // negative length
        "2C 9E B4 F2 00 00 00 80", // most negative length
    };

    for (const auto* hex : garbage)
    {
        ASSERT_TRUE (client.sendRaw (fromHex (hex), 1000));
        ASSERT_TRUE (client.send (std::string ("after ") + hex, 1000));
    }

    ASSERT_TRUE (connection.waitForMessages (4));
    const auto received = connection.receivedMessages();
    ASSERT_EQ (received.size(), 4u);

    for (std::size_t i = 0; i < received.size(); ++i)
        EXPECT_EQ (received[i], std::string ("after ") + garbage[i]);

    EXPECT_TRUE (connection.isConnected());
}

TEST_F (PipeConnectionTest, ClientThatReconnectsBetweenPacketsIsServedAgain)
{
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    for (const std::string request : {"first", "second", "third"})
    {
        PipeClient client;
        ASSERT_TRUE (client.open (name, 1000));
        ASSERT_TRUE (client.send (request, 1000));
        EXPECT_EQ (client.receive (2000), std::optional<std::string> ("re:" + request));
    }

    ASSERT_TRUE (connection.waitForMessages (3));
    EXPECT_EQ (connection.receivedMessages(), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ (connection.lost, 0);
}

TEST_F (PipeConnectionTest, IdlePipeStillReadsAPacketAfterThreeSeconds)
{
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));

    std::this_thread::sleep_for (std::chrono::seconds (3));
    main_thread::runRound (16);
    EXPECT_TRUE (connection.isConnected());

    ASSERT_TRUE (client.send ("late", 1000));
    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 1; }));
    EXPECT_EQ (connection.receivedMessages()[0], "late");
    EXPECT_EQ (connection.lost, 0);
}

TEST_F (PipeConnectionTest, LargePayloadsTravelWholeInBothDirections)
{
    RecordingConnection connection (true);
    ASSERT_TRUE (connection.makePipe (name, 2000).wasOk());

    // The largest request, larger than a FIFO's buffer with its header.
    std::string request (PacketFramer::kMaxRequestSize, '\0');
    for (std::size_t i = 0; i < request.size(); ++i)
        request[i] = static_cast<char> (i % 251);

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send (request, 2000));
    ASSERT_TRUE (connection.waitForMessages (1));
    EXPECT_EQ (connection.receivedMessages()[0], request);

    // Larger than a FIFO's buffer: the send must wait for room while the client reads.
    const std::string reply (300000, 'r');
    std::optional<std::string> received;
    std::thread reader ([&]
                        { received = client.receive (3000); });

    EXPECT_TRUE (connection.sendMessage (blockOf (reply)));
    reader.join();
    EXPECT_EQ (received, std::optional<std::string> (reply));
}

// The send only queues the reply: REAPER's main thread never waits for a reader. The reply
// waits for one until its deadline, then is dropped.
TEST_F (PipeConnectionTest, SendWithoutAReaderReturnsAtOnceAndTheReplyIsDroppedAfterTheTimeout)
{
    struct sigaction before
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &before), 0);

    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    const auto start = Clock::now();
    EXPECT_TRUE (connection.sendMessage (blockOf ("nobody listens")));
    EXPECT_LT (millisecondsSince (start), 200); // waiting for the reader would take 1,000 ms
    EXPECT_EQ (connection.unwrittenReplies(), 1u);

    ASSERT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0; }));
    const auto elapsed = millisecondsSince (start);
    EXPECT_GE (elapsed, 950);
    EXPECT_LT (elapsed, 1500);
    EXPECT_TRUE (connection.isConnected());

    PipeClient late;
    ASSERT_TRUE (late.open (name, 1000));
    EXPECT_EQ (late.receive (200), std::nullopt);

    struct sigaction after
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &after), 0);
    EXPECT_EQ (after.sa_handler, before.sa_handler);
}

TEST_F (PipeConnectionTest, ReaderLeavingMidReplyFailsTheSendWithoutSigPipe)
{
    // With the default disposition a SIGPIPE reaching the process would end this test.
    struct sigaction before
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &before), 0);
    ASSERT_EQ (before.sa_handler, SIG_DFL);

    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    auto client = std::make_unique<PipeClient>();
    ASSERT_TRUE (client->open (name, 1000));

    std::thread leaver ([&]
                        {
                            std::this_thread::sleep_for (std::chrono::milliseconds (100));
                            client.reset(); });

    // Far more than the FIFO holds, so the write is still going when the reader leaves; the
    // rest of the packet is then dropped at once, not at the deadline.
    const auto start = Clock::now();
    EXPECT_TRUE (connection.sendMessage (blockOf (std::string (1 << 20, 'x'))));
    leaver.join();
    EXPECT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0; }));
    EXPECT_LT (millisecondsSince (start), 600);

    struct sigaction after
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &after), 0);
    EXPECT_EQ (after.sa_handler, SIG_DFL);

    sigset_t pending;
    sigemptyset (&pending);
    ASSERT_EQ (sigpending (&pending), 0);
    EXPECT_EQ (sigismember (&pending, SIGPIPE), 0);
}

TEST_F (PipeConnectionTest, NextClientGetsExactlyItsOwnFirstReply)
{
    struct Leftover
    {
        const char* what;
        std::function<void (PipeClient&, RecordingConnection&, const std::string& replyPath)> leave;
        bool nextClosesItsRequestEnd = false; // before it reads: its reply is still its own
    };

    const Leftover leftovers[] = {
        {"a reply left unread", [] (PipeClient& client, RecordingConnection& connection, const std::string&)
         {
             ASSERT_TRUE (client.send ("old request", 1000));
             ASSERT_TRUE (connection.waitForMessages (1));

             // The delivery closes the reply FIFO once the callback has returned.
             std::this_thread::sleep_for (std::chrono::milliseconds (100));
             const std::lock_guard<std::mutex> lock (connection.mutex);
             ASSERT_EQ (connection.echoResults, std::vector<bool>{true});
         }},
        {"a stray byte written into the reply FIFO", [] (PipeClient& client, RecordingConnection& connection, const std::string& replyPath)
         {
             ASSERT_TRUE (client.send ("old request", 1000));
             ASSERT_EQ (client.receive (2000), std::optional<std::string> ("re:old request"));

             // The reply can be read before the writer has closed the FIFO; the stray byte
             // must come after that close, or it stays for as long as the writer holds it.
             ASSERT_TRUE (connection.waitForMessages (1));
             ASSERT_TRUE (waitUntil ([&]
                                     { return descriptorsOpenOn (replyPath) == 1; }));
             ASSERT_TRUE (client.writeIntoReplyFifo (std::string (1, '\0')));
         }},
        {"a reply larger than the FIFO left mid-way", [] (PipeClient& client, RecordingConnection& connection, const std::string&)
         {
             ASSERT_TRUE (client.send (std::string (PacketFramer::kMaxRequestSize, 'm'), 1000));
             ASSERT_TRUE (connection.waitForMessages (1));
             std::this_thread::sleep_for (std::chrono::milliseconds (100));
         },
         true},
    };

    for (const auto& leftover : leftovers)
    {
        SCOPED_TRACE (leftover.what);
        const auto pipeName = uniquePipeName();
        RecordingConnection connection (true, true);
        ASSERT_TRUE (connection.makePipe (pipeName, 1000).wasOk());

        {
            PipeClient departing;
            ASSERT_TRUE (departing.open (pipeName, 1000));
            leftover.leave (departing, connection, pipe_contract::replyFifoPath (pipeName));
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (200)); // seen to leave
        PipeClient next;
        ASSERT_TRUE (next.open (pipeName, 1000));
        ASSERT_TRUE (next.send ("new request", 1000));
        if (leftover.nextClosesItsRequestEnd)
            next.closeRequests();
        EXPECT_EQ (next.receive (2000), std::optional<std::string> ("re:new request"));
        EXPECT_EQ (next.receive (200), std::nullopt);
    }
}

TEST_F (PipeConnectionTest, DisconnectIsFastRemovesTheFifosAndDropsUndeliveredCallbacks)
{
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());
    ASSERT_TRUE (pathExists (inPath));
    ASSERT_TRUE (pathExists (outPath));

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send ("never delivered", 1000));
    std::this_thread::sleep_for (std::chrono::milliseconds (100)); // read and posted, not delivered

    const auto start = Clock::now();
    connection.disconnect();
    EXPECT_LT (millisecondsSince (start), 200);

    EXPECT_FALSE (connection.isConnected());
    EXPECT_FALSE (pathExists (inPath));
    EXPECT_FALSE (pathExists (outPath));

    pumpUntil ([]
               { return false; },
               100);
    EXPECT_EQ (connection.made, 0);
    EXPECT_EQ (connection.messageCount(), 0u);
    EXPECT_EQ (connection.lost, 0);
    EXPECT_FALSE (connection.sendMessage (blockOf ("after disconnect")));

    // What follows a refused reply (a failed spot's log lines) still runs, at once.
    int followed = 0;
    EXPECT_FALSE (connection.sendMessageThen (blockOf ("after disconnect"), {[&]
                                                                             { ++followed; }}));
    EXPECT_EQ (followed, 1);
}

TEST_F (PipeConnectionTest, DisconnectFromACallbackDoesNotHang)
{
    struct SelfClosing : RecordingConnection
    {
        SelfClosing()
            : RecordingConnection (true)
        {
        }

        void messageReceived (const std::vector<std::uint8_t>& message) override
        {
            RecordingConnection::messageReceived (message);
            disconnect();
        }
    };

    SelfClosing connection;
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send ("bye", 1000));
    ASSERT_TRUE (connection.waitForMessages (1));
    EXPECT_TRUE (waitUntil ([&]
                            { return !connection.isConnected(); }));
    EXPECT_FALSE (pathExists (inPath));
}

TEST_F (PipeConnectionTest, CreatePipeAgainReplacesTheOldPipe)
{
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    const auto otherName = uniquePipeName();
    ASSERT_TRUE (connection.makePipe (otherName, 1000).wasOk());
    EXPECT_FALSE (pathExists (inPath));

    PipeClient client;
    ASSERT_TRUE (client.open (otherName, 1000));
    ASSERT_TRUE (client.send ("x", 1000));
    EXPECT_EQ (client.receive (2000), std::optional<std::string> ("re:x"));
    connection.disconnect();
    EXPECT_FALSE (pathExists ("/tmp/" + otherName + "_in"));
}

TEST_F (PipeConnectionTest, OversizeHeaderIsSkippedWithOneLogLineAndTheNextPacketRead)
{
    CapturingLogger logger;
    RecordingConnection connection (true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));

    const std::uint32_t announced = PacketFramer::kMaxRequestSize + 1; // one byte over the limit
    std::string header = fromHex ("2C 9E B4 F2");
    for (int shift = 0; shift < 32; shift += 8)
        header.push_back (static_cast<char> ((announced >> shift) & 0xff));

    ASSERT_TRUE (client.sendRaw (header + std::string (announced, '\x7f'), 10000));
    ASSERT_TRUE (client.send ("next", 1000));

    ASSERT_TRUE (connection.waitForMessages (1, 10000));
    EXPECT_EQ (connection.receivedMessages(), std::vector<std::string>{"next"});
    EXPECT_EQ (logger.lines(), std::vector<std::string>{"Skipped a packet of 1048577 bytes: larger than the limit of 1048576 bytes"});
}

// However many replies wait for a client that has gone, together they wait one deadline:
// after one is dropped, the rest are tried once. A client that holds the reply FIFO open
// gets its reply at the first try, and from then on a reply waits for a reader again.
TEST_F (PipeConnectionTest, AfterAFailedSendRepliesAreTriedOnceUntilOneGetsThrough)
{
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    const auto start = Clock::now();
    EXPECT_TRUE (connection.sendMessage (blockOf ("first")));

    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE (connection.sendMessage (blockOf ("queued for a client that left")));

    ASSERT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0; }));
    EXPECT_GE (millisecondsSince (start), 950);
    EXPECT_LT (millisecondsSince (start), 1500);

    {
        PipeClient client;
        ASSERT_TRUE (client.open (name, 1000));
        EXPECT_TRUE (connection.sendMessage (blockOf ("for the new client")));
        EXPECT_EQ (client.receive (1000), std::optional<std::string> ("for the new client"));
    }

    // Once its reply is written, the writer lets that opening go: a reply queued while it
    // still held it would be dropped with the reader that left.
    ASSERT_TRUE (waitUntil ([&]
                            { return connection.unwrittenReplies() == 0; }));

    std::unique_ptr<PipeClient> late;
    std::thread arriving ([&]
                          {
        std::this_thread::sleep_for (std::chrono::milliseconds (200));
        late = std::make_unique<PipeClient>();
        late->open (name, 1000); });

    EXPECT_TRUE (connection.sendMessage (blockOf ("waited for")));
    arriving.join();
    ASSERT_NE (late, nullptr);
    EXPECT_EQ (late->receive (1000), std::optional<std::string> ("waited for"));
}

// A client that holds the reply FIFO open but stops reading in the middle of a packet: the
// packet's rest is written when it reads again, however late, so its stream stays whole; the
// reply behind it follows in turn.
TEST_F (PipeConnectionTest, APacketBegunIsFinishedAfterItsDeadlineSoTheClientsStreamStaysWhole)
{
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 200).wasOk());

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));

    std::string large (200000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char> (i % 253);

    const auto start = Clock::now();
    EXPECT_TRUE (connection.sendMessage (blockOf (large)));
    EXPECT_TRUE (connection.sendMessage (blockOf ("behind it")));
    EXPECT_LT (millisecondsSince (start), 100);

    // Well past the deadline, with the FIFO full and the packet written in part.
    std::this_thread::sleep_for (std::chrono::milliseconds (600));
    EXPECT_EQ (connection.unwrittenReplies(), 2u);

    EXPECT_EQ (client.receive (2000), std::optional<std::string> (large));
    EXPECT_EQ (client.receive (1000), std::optional<std::string> ("behind it"));
}

// Closing the pipe while a large reply is being written to a client that does not read wakes
// the writer at once, not at its next look at the FIFO (100 ms).
TEST_F (PipeConnectionTest, DisconnectDuringALargeReplyToAClientThatDoesNotReadReturnsAtOnce)
{
    long long fastest = 1000;

    for (int i = 0; i < 3; ++i)
    {
        RecordingConnection connection (false);
        ASSERT_TRUE (connection.makePipe (name, 10000).wasOk());

        PipeClient client;
        ASSERT_TRUE (client.open (name, 1000));
        std::atomic<int> followed{0};
        EXPECT_TRUE (connection.sendMessage (std::vector<std::uint8_t> (1024 * 1024, 'l')));
        EXPECT_TRUE (connection.sendMessageThen (blockOf ("queued behind it"), {[&]
                                                                                { ++followed; }}));
        std::this_thread::sleep_for (std::chrono::milliseconds (10));

        const auto start = Clock::now();
        connection.disconnect();
        fastest = std::min (fastest, millisecondsSince (start));
        EXPECT_EQ (followed, 1); // dropped at the close, and what follows it has run
    }

    EXPECT_LT (fastest, 50);
}

// A live client that pauses inside a header for seconds is read whole when it carries on; a
// client that leaves half a packet behind has it dropped, with one log line, and the next
// client's packet is read whole.
TEST_F (PipeConnectionTest, AClientPausingMidPacketIsNeverCutOffAndHalfAPacketLeftBehindIsDropped)
{
    CapturingLogger log;
    RecordingConnection connection (false);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    {
        PipeClient pausing;
        ASSERT_TRUE (pausing.open (name, 1000));
        const auto first = buildPacket (pipe_contract::kPacketMagic, "a", 1);
        ASSERT_TRUE (pausing.sendRaw (first.substr (0, 3), 1000));
        std::this_thread::sleep_for (std::chrono::milliseconds (2600));
        ASSERT_TRUE (pausing.sendRaw (first.substr (3) + buildPacket (pipe_contract::kPacketMagic, "b", 1), 1000));
        ASSERT_TRUE (pumpUntil ([&]
                                { return connection.messageCount() == 2; }));
    }

    {
        PipeClient leaving;
        ASSERT_TRUE (leaving.open (name, 1000));
        ASSERT_TRUE (leaving.sendRaw (buildPacket (pipe_contract::kPacketMagic, "xyz", 3).substr (0, 9), 1000));
    }

    // Its leaving is seen before the next client's bytes are read.
    ASSERT_TRUE (waitUntil ([&]
                            {
        const auto lines = log.lines();
        return std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                              { return line.rfind ("Dropped an incomplete packet of ", 0) == 0; }) == 1; }));

    PipeClient next;
    ASSERT_TRUE (next.open (name, 1000));
    ASSERT_TRUE (next.send ("c", 1000));
    ASSERT_TRUE (pumpUntil ([&]
                            { return connection.messageCount() == 3; }));
    EXPECT_EQ (connection.receivedMessages(), (std::vector<std::string>{"a", "b", "c"}));
}

// Replies to a client that has gone are dropped at once, not at their deadline (5 s here), and
// never reach the client after it. Steps: A closes its request end (c), A leaves both FIFOs
// (l), the pipe sees it (w), B opens the FIFOs (o), B sends (s); then A's requests are handled.
TEST_F (PipeConnectionTest, RepliesToAClientThatHasGoneAreDroppedAtOnceAndNeverReachTheNext)
{
    struct Row
    {
        const char* steps;
        std::vector<std::string> requests;
    };

    for (const auto& row : {Row{"lwo", {"a"}}, Row{"cwoswl", {"a"}}, Row{"cwlw", {"a1", "a2"}}})
    {
        SCOPED_TRACE (row.steps);
        const auto pipeName = uniquePipeName();
        RecordingConnection connection (false, true);
        ASSERT_TRUE (connection.makePipe (pipeName, 5000).wasOk());
        auto a = std::make_unique<PipeClient>();
        PipeClient b;
        ASSERT_TRUE (a->open (pipeName, 1000));
        for (const auto& request : row.requests)
            ASSERT_TRUE (a->send (request, 1000));

        for (const char* step = row.steps; *step != '\0'; ++step)
            if (*step == 'c')
                a->closeRequests();
            else if (*step == 'l')
                a.reset();
            else if (*step == 'w')
                std::this_thread::sleep_for (std::chrono::milliseconds (200));
            else
                ASSERT_TRUE (*step == 'o' ? b.open (pipeName, 1000) : b.send ("b", 1000));

        const auto handled = row.requests.size() + (std::string (row.steps).find ('s') != std::string::npos ? 1 : 0);
        const auto start = Clock::now();
        ASSERT_TRUE (pumpUntil ([&]
                                { return connection.messageCount() == handled && connection.unwrittenReplies() == 0; }));
        EXPECT_LT (millisecondsSince (start), 1000);

        ASSERT_TRUE (b.isOpen() || b.open (pipeName, 1000));
        ASSERT_TRUE (handled > row.requests.size() || b.send ("b", 1000));
        ASSERT_TRUE (pumpUntil ([&]
                                { return connection.messageCount() == row.requests.size() + 1; }));
        EXPECT_EQ (b.receive (2000), std::optional<std::string> ("re:b"));
        EXPECT_EQ (b.receive (100), std::nullopt);
    }
}
