// bv-client against the real extension when the pipe is not as it should be: files planted
// by another user, replies left over from a client that stopped waiting, several clients at
// once.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ForgedReply.h"
#include "LoadedExtensionTest.h"
#include "LogFileLines.h"

using namespace client_testing;

namespace
{
const std::string kRequestFifo = "/tmp/bv_reaper_in";
const std::string kReplyFifo = "/tmp/bv_reaper_out";

int countOf (const std::string& text, const std::string& part)
{
    int count = 0;

    for (auto at = text.find (part); at != std::string::npos; at = text.find (part, at + 1))
        ++count;

    return count;
}

// Another user has put regular files at both names before REAPER starts, with a forged
// reply waiting in the reply file.
class SpoofedPipeTest : public LoadedExtensionTest
{
protected:
    void beforeLoad() override
    {
        other = otherUser();

        if (!other)
            return;

        const auto forged = forgedVersionPacket();
        ASSERT_TRUE (asUser (*other, [&]
                             {
                                 std::ofstream (kReplyFifo, std::ios::binary) << forged;
                                 std::ofstream (kRequestFifo, std::ios::binary);
                                 return chmod (kReplyFifo.c_str(), 0666) == 0 && chmod (kRequestFifo.c_str(), 0666) == 0; }));
    }

    void TearDown() override
    {
        if (other)
        {
            unlink (kRequestFifo.c_str());
            unlink (kReplyFifo.c_str());
        }

        LoadedExtensionTest::TearDown();
    }

    std::optional<OtherUser> other;
};
} // namespace

TEST_F (SpoofedPipeTest, AnotherUsersFilesAreNeitherReadNorWritten)
{
    if (!other)
        GTEST_SKIP() << "needs root, to plant files as another user";

    // The extension refuses them too, and stays loaded without a pipe.
    EXPECT_NE (logText().find ("Pipe not created"), std::string::npos);

    const auto forged = forgedVersionPacket();
    const std::string secret = "/home/me/Secret Project/scene 12.wav";

    for (const auto& arguments : {std::vector<std::string>{"version"}, std::vector<std::string>{"spot", secret}})
    {
        SCOPED_TRACE (arguments.front());
        const auto run = client (arguments);

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_EQ (run.out, "");
        EXPECT_NE (run.err.find ("refusing " + kReplyFifo + ": it is a regular file, not a FIFO"), std::string::npos) << run.err;
    }

    EXPECT_EQ (testing_support::readWholeFile (kReplyFifo), forged);
    EXPECT_EQ (testing_support::readWholeFile (kRequestFifo), "");
    EXPECT_EQ (model.itemCount(), 0);
}

TEST_F (LoadedExtensionTest, RepliesLeftOverFromAClientThatStoppedWaitingAreSkipped)
{
    // REAPER's main thread is busy while the first client waits: it gives up.
    constexpr int spots = 20;
    const auto file = audioFile ("door.wav", 0.5);
    std::vector<std::string> arguments{BV_CLIENT_PATH, "--timeout", "300", "spot"};

    for (int i = 0; i < spots; ++i)
        arguments.push_back (file);

    Subprocess first (arguments, clientSetup());
    RunResult gaveUp;
    reaper_host::host_main_thread::call ([&]
                                         { gaveUp = first.finish (std::chrono::seconds (10)); });

    EXPECT_EQ (gaveUp.exitCode, 3);
    EXPECT_NE (gaveUp.err.find (std::to_string (spots) + " requests were sent and not answered: REAPER may still carry them out"), std::string::npos) << gaveUp.err;
    EXPECT_NE (gaveUp.err.find ("place the files twice"), std::string::npos);

    // The next clients are answered only after those spots; their replies are not taken
    // for these requests' answers.
    const auto version = client ({"version"});
    EXPECT_EQ (version.exitCode, 0) << version.err;
    EXPECT_EQ (version.out, "reaper ext 1.1\n");

    const auto selected = client ({"--json", "selected"});
    EXPECT_EQ (selected.exitCode, 0) << selected.err;
    EXPECT_EQ (selected.out, "{\"item\":null,\"ok\":true,\"reply\":\"response\",\"request\":\"selected\",\"text\":\"null\"}\n");

    // The pipe drops the replies owed to a client that has gone; one that still reaches the
    // next client (it opened the reply FIFO before the pipe saw the first one gone) is
    // skipped with a note or discarded before the request, never taken for an answer.
    EXPECT_LE (countOf (version.err + selected.err, "skipped a command-result reply"), spots) << version.err << selected.err;

    // The first client's spots did land: a retry would have doubled them.
    EXPECT_EQ (model.itemCount(), spots);
}

TEST_F (LoadedExtensionTest, AFailureLeftOverFromAnotherSpotIsNotTakenForThisSpotsAnswer)
{
    // The first client gives up on a spot that will fail, REAPER's main thread being busy;
    // the extension answers it only once the next client has started.
    const auto missing = path ("missing.wav");
    const auto good = audioFile ("good.wav", 1.0);
    RunResult gaveUp;
    reaper_host::host_main_thread::call ([&]
                                         { gaveUp = runClient ({BV_CLIENT_PATH, "--timeout", "300", "spot", missing}); });
    ASSERT_EQ (gaveUp.exitCode, 3) << gaveUp.err;

    const auto run = client ({"spot", good});

    // Never "failed: good.wav: Unable to find source file:missing.wav", exit 1, which invites
    // a retry that places good.wav twice. The pipe drops the departed client's answer once
    // it sees that client gone from both FIFOs; if the next client opens the reply FIFO
    // before that, the answer reaches it: before that client's request (it is then
    // discarded with a note, and the spot's own answer follows) or after it (the spot is
    // then reported as answered by another request).
    EXPECT_EQ (run.out.find ("failed:"), std::string::npos) << run.out;

    if (run.exitCode == 0)
    {
        EXPECT_EQ (run.out, "spotted: " + good + "\n");
    }
    else
    {
        EXPECT_EQ (run.exitCode, 3) << run.out << run.err;
        EXPECT_EQ (run.out, "");
        EXPECT_NE (run.err.find ("the reply to the spot of " + good + " is about another file (\"" + missing + "\")"), std::string::npos) << run.err;
        EXPECT_NE (run.err.find ("1 request was sent and not answered: REAPER may still carry them out"), std::string::npos) << run.err;
        EXPECT_NE (run.err.find ("look at the project first"), std::string::npos) << run.err;
    }

    // And REAPER does carry it out.
    EXPECT_TRUE (harness->pumpUntil ([&]
                                     { return model.itemCount() == 1; },
                                     std::chrono::milliseconds (2000)));
}

TEST_F (LoadedExtensionTest, WhatWaitsInTheReplyFifoBeforeTheFirstRequestIsDiscarded)
{
    // Held open so the bytes stay in the FIFO for the client to find.
    const int holder = ::open (kReplyFifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE (holder, 0);
    const auto forged = forgedVersionPacket();
    ASSERT_EQ (::write (holder, forged.data(), forged.size()), static_cast<ssize_t> (forged.size()));

    const auto run = client ({"version"});
    ::close (holder);

    EXPECT_EQ (run.exitCode, 0) << run.err;
    EXPECT_EQ (run.out, "reaper ext 1.1\n");
    EXPECT_NE (run.err.find ("discarded " + std::to_string (forged.size()) + " bytes waiting in the reply FIFO"), std::string::npos) << run.err;
}

TEST_F (LoadedExtensionTest, TenClientsStartedAtOnceEachGetTheirOwnAnswer)
{
    std::vector<std::unique_ptr<Subprocess>> clients;

    for (int i = 0; i < 10; ++i)
        clients.push_back (std::make_unique<Subprocess> (std::vector<std::string>{BV_CLIENT_PATH, "--timeout", "10000", i % 2 == 0 ? "version" : "project-path"}, clientSetup()));

    for (size_t i = 0; i < clients.size(); ++i)
    {
        SCOPED_TRACE (i);
        const auto run = clients[i]->finish (std::chrono::seconds (20), [this]
                                             { harness->mainLoop().tickIfDue(); });
        EXPECT_EQ (run.exitCode, 0) << run.err;
        EXPECT_EQ (run.out, i % 2 == 0 ? "reaper ext 1.1\n" : "/home/editor/Film\n");
        EXPECT_EQ (run.err, "");
    }
}
