// One process of this user serves a pipe at a time (the serving lock), and the one that
// serves makes the pipe again when its files go or its connection is lost. In one process
// here: two locks on one path behave as two processes' do, since flock locks belong to the
// open file, not the process.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PipeClient.h"
#include "PipeTestSupport.h"
#include "pipe/PipeKeeper.h"
#include "pipe/ServingLock.h"

using namespace pipe_testing;
using namespace std::chrono_literals;

namespace
{
using LockOutcome = ServingLock::Outcome;

std::string readFile (const std::string& path)
{
    std::ifstream file (path, std::ios::binary);
    return {std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>()};
}

void writeFile (const std::string& path, const std::string& text)
{
    std::ofstream (path, std::ios::binary) << text;
}

ino_t inodeAt (const std::string& path)
{
    struct stat info;
    return ::lstat (path.c_str(), &info) == 0 ? info.st_ino : 0;
}

std::size_t countLines (const std::vector<std::string>& lines, const std::string& text)
{
    return (std::size_t) std::count (lines.begin(), lines.end(), text);
}

const std::string ownProcessLine = "Pipe served by another REAPER (process " + std::to_string (::getpid()) + ")";

constexpr PipeKeeperTiming kQuickTiming{20ms, 20ms, 80ms, 10s};

class PipeKeeperTest : public ::testing::Test
{
protected:
    CapturingLogger log;
    const std::string name = uniquePipeName();
    const std::string inPath = "/tmp/" + name + "_in";
    const std::string outPath = "/tmp/" + name + "_out";
    const std::string lockPath = "/tmp/" + name + ".lock";

    void TearDown() override
    {
        for (const auto& path : {inPath, outPath, lockPath})
        {
            ::unlink (path.c_str());
            ::rmdir (path.c_str());
        }
    }

    // One request answered through the pipe by a connection that echoes.
    bool echoes (const std::string& text)
    {
        PipeClient client;
        bool answered = false;
        std::thread talk ([&]
                          {
            if (client.open (name, 2000) && client.send (text, 1000))
                if (const auto reply = client.receive (2000))
                    answered = *reply == "re:" + text; });

        pumpUntil ([&]
                   { return answered; },
                   4000);
        talk.join();
        return answered;
    }
};
} // namespace

TEST_F (PipeKeeperTest, OneLockOwnerAtATimeWithItsProcessIdAndTheNextTakesOverWhenItLetsGo)
{
    ServingLock first (lockPath), second (lockPath);

    ASSERT_EQ (first.tryAcquire().outcome, LockOutcome::owned);
    struct stat info;
    ASSERT_EQ (::lstat (lockPath.c_str(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0600u);
    EXPECT_EQ (readFile (lockPath), std::to_string (::getpid()) + "\n");

    const auto waiting = second.tryAcquire();
    EXPECT_EQ (waiting.outcome, LockOutcome::heldByOther);
    EXPECT_EQ (waiting.ownerProcessId, (long) ::getpid());
    EXPECT_FALSE (second.isOwned());

    first.release();
    EXPECT_FALSE (pathExists (lockPath));
    EXPECT_EQ (second.tryAcquire().outcome, LockOutcome::owned);
    EXPECT_TRUE (pathExists (lockPath));
}

TEST_F (PipeKeeperTest, ALockFileRemovedOrReplacedIsLockedAgainByItsOwnerAndNoOneSlipsIn)
{
    struct Case
    {
        const char* name;
        bool replaceWithFile;
    };

    for (const auto& c : {Case{"removed", false}, Case{"replaced by a file of ours", true}})
    {
        SCOPED_TRACE (c.name);
        ServingLock owner (lockPath), other (lockPath);
        ASSERT_EQ (owner.tryAcquire().outcome, LockOutcome::owned);
        ASSERT_EQ (other.tryAcquire().outcome, LockOutcome::heldByOther);

        const auto before = inodeAt (lockPath);
        const auto spare = lockPath + ".spare";
        ASSERT_EQ (::unlink (lockPath.c_str()), 0);

        if (c.replaceWithFile)
        {
            writeFile (spare, "stale");
            ASSERT_EQ (::rename (spare.c_str(), lockPath.c_str()), 0);
        }

        // The other one, holding the old file, still sees it held; the owner locks anew.
        EXPECT_EQ (other.tryAcquire().outcome, LockOutcome::heldByOther);
        EXPECT_EQ (owner.tryAcquire().outcome, LockOutcome::owned);
        EXPECT_NE (inodeAt (lockPath), before);
        EXPECT_EQ (readFile (lockPath), std::to_string (::getpid()) + "\n");
        EXPECT_EQ (other.tryAcquire().outcome, LockOutcome::heldByOther);

        owner.release();
        EXPECT_EQ (other.tryAcquire().outcome, LockOutcome::owned);
        other.release();
    }

    // Let go after its file was replaced (before it could lock anew): the file that replaced
    // it is someone else's and stays.
    {
        ServingLock owner (lockPath);
        ASSERT_EQ (owner.tryAcquire().outcome, LockOutcome::owned);
        const auto spare = lockPath + ".spare";
        writeFile (spare, "another's");
        ASSERT_EQ (::rename (spare.c_str(), lockPath.c_str()), 0);

        owner.release();
        EXPECT_EQ (readFile (lockPath), "another's");
    }
}

TEST_F (PipeKeeperTest, AnUnsafeLockPathIsRefusedNeverFollowedAndLeftAsItWas)
{
    struct Case
    {
        const char* name;
        std::function<void (const std::string&, const std::string&)> plant;
        const char* reason;
    };

    const std::vector<Case> cases = {
        {"a symbolic link to a file", [] (const std::string& at, const std::string& target)
         { writeFile (target, "precious"); ASSERT_EQ (::symlink (target.c_str(), at.c_str()), 0); },
         "is a symbolic link"},
        {"a symbolic link to nothing", [] (const std::string& at, const std::string& target)
         { ASSERT_EQ (::symlink (target.c_str(), at.c_str()), 0); },
         "is a symbolic link"},
        {"a directory", [] (const std::string& at, const std::string&)
         { ASSERT_EQ (::mkdir (at.c_str(), 0700), 0); },
         "is a directory"},
        {"a FIFO", [] (const std::string& at, const std::string&)
         { ASSERT_EQ (::mkfifo (at.c_str(), 0600), 0); },
         "exists and is not a regular file"},
        {"a second name of another file", [] (const std::string& at, const std::string& target)
         { writeFile (target, "precious"); ASSERT_EQ (::link (target.c_str(), at.c_str()), 0); },
         "has other names"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto target = lockPath + ".target";
        c.plant (lockPath, target);
        const auto before = inodeAt (lockPath);

        ServingLock lock (lockPath);
        const auto attempt = lock.tryAcquire();
        EXPECT_EQ (attempt.outcome, LockOutcome::refused);
        EXPECT_EQ (attempt.refusal, lockPath + " " + c.reason);
        lock.release();

        EXPECT_EQ (inodeAt (lockPath), before);

        if (pathExists (target))
        {
            EXPECT_EQ (readFile (target), "precious");
        }

        ::unlink (target.c_str());
        ::unlink (lockPath.c_str());
        ::rmdir (lockPath.c_str());
    }
}

TEST_F (PipeKeeperTest, ASecondKeeperWaitsWithoutTouchingTheFifosAndTakesOverWhenTheFirstStops)
{
    RecordingConnection firstConnection (true, true), secondConnection (true, true);
    PipeKeeper first (firstConnection, name, 1000, kQuickTiming);
    PipeKeeper second (secondConnection, name, 1000, kQuickTiming);

    first.start();
    ASSERT_EQ (first.state(), PipeKeeper::State::serving);
    const auto in = inodeAt (inPath), out = inodeAt (outPath);

    second.start();
    EXPECT_EQ (second.state(), PipeKeeper::State::waitingForLock);
    std::this_thread::sleep_for (200ms);
    EXPECT_EQ (second.state(), PipeKeeper::State::waitingForLock);
    EXPECT_EQ (inodeAt (inPath), in);
    EXPECT_EQ (inodeAt (outPath), out);
    EXPECT_TRUE (echoes ("to the first"));
    EXPECT_EQ (firstConnection.messageCount(), 1u);
    EXPECT_EQ (secondConnection.messageCount(), 0u);

    first.stop();
    ASSERT_TRUE (pumpUntil ([&]
                            { return second.state() == PipeKeeper::State::serving; },
                            2000));
    EXPECT_TRUE (echoes ("to the second"));
    EXPECT_EQ (secondConnection.messageCount(), 1u);

    const auto lines = log.lines();
    EXPECT_EQ (countLines (lines, ownProcessLine), 1u);
    EXPECT_EQ (countLines (lines, "pipe created"), 2u);
}

// Another process locked the lock file made again at the lock's path before this keeper
// could: this one stops serving at once, leaves the FIFOs to it and waits its turn.
TEST_F (PipeKeeperTest, AKeeperWhoseLockWasTakenByAnotherLetsItsPipeGo)
{
    RecordingConnection connection (true, true);
    PipeKeeper keeper (connection, name, 1000, kQuickTiming);
    keeper.start();
    ASSERT_EQ (keeper.state(), PipeKeeper::State::serving);
    const auto in = inodeAt (inPath), out = inodeAt (outPath);

    ASSERT_EQ (::unlink (lockPath.c_str()), 0);
    ServingLock other (lockPath);
    ASSERT_EQ (other.tryAcquire().outcome, LockOutcome::owned);

    // The keeper's state turns to waiting just before it logs who serves: wait for both.
    EXPECT_TRUE (waitUntil ([&]
                            { return keeper.state() == PipeKeeper::State::waitingForLock
                                     && countLines (log.lines(), ownProcessLine) > 0; },
                            2000));
    EXPECT_FALSE (connection.isConnected());
    EXPECT_EQ (inodeAt (inPath), in);
    EXPECT_EQ (inodeAt (outPath), out);
    EXPECT_EQ (countLines (log.lines(), ownProcessLine), 1u);

    // It takes over when the other lets go.
    other.release();
    EXPECT_TRUE (waitUntil ([&]
                            { return keeper.state() == PipeKeeper::State::serving; },
                            2000));
    EXPECT_TRUE (connection.isConnected());
}

TEST_F (PipeKeeperTest, AfterALostConnectionThePipeIsMadeAgainAfterAPauseThatGrows)
{
    RecordingConnection connection (false, true);
    PipeKeeper keeper (connection, name, 1000, kQuickTiming);
    keeper.start();
    ASSERT_EQ (keeper.state(), PipeKeeper::State::serving);

    std::vector<long long> pauses;

    for (int loss = 1; loss <= 4; ++loss)
    {
        const auto start = std::chrono::steady_clock::now();
        keeper.connectionLost();

        ASSERT_TRUE (pumpUntil ([&]
                                { return countLines (log.lines(), "pipe re-created") == (std::size_t) loss; },
                                2000));
        pauses.push_back (std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count());
    }

    // 20, 40, 80, 80 ms: doubled while lost again soon, never past the longest.
    EXPECT_GE (pauses[0], 20);
    EXPECT_GE (pauses[1], 40);
    EXPECT_GE (pauses[2], 80);
    EXPECT_GE (pauses[3], 80);
    EXPECT_LT (pauses[3], 80 + 500);
    EXPECT_EQ (keeper.state(), PipeKeeper::State::serving);
    EXPECT_TRUE (echoes ("back"));
}

// A pipe that served for the stable time before it was lost is made again after the first
// pause, however long the pause had grown before.
TEST_F (PipeKeeperTest, ThePauseStartsAfreshAfterAPipeServedForTheStableTime)
{
    constexpr PipeKeeperTiming timing{20ms, 20ms, 2000ms, 400ms};
    RecordingConnection connection (false, true);
    PipeKeeper keeper (connection, name, 1000, timing);
    keeper.start();
    ASSERT_EQ (keeper.state(), PipeKeeper::State::serving);

    auto loseAndTime = [&] (std::size_t loss)
    {
        const auto start = std::chrono::steady_clock::now();
        keeper.connectionLost();
        EXPECT_TRUE (pumpUntil ([&]
                                { return countLines (log.lines(), "pipe re-created") == loss; },
                                5000));
        return std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();
    };

    // Lost again soon each time: 20, 40, 80, 160 ms.
    for (std::size_t loss = 1; loss <= 4; ++loss)
        loseAndTime (loss);

    // Then it serves longer than the stable time: the next pause is the first again, not 320 ms.
    std::this_thread::sleep_for (timing.stableAfter + 100ms);
    const auto pause = loseAndTime (5);
    EXPECT_GE (pause, 20);
    EXPECT_LT (pause, 200);
}
