// The pipe outlives what happens to its files and to other REAPERs while REAPER runs for
// days: FIFOs deleted by a /tmp cleaner or replaced by something else, a second REAPER with
// the extension, a serving REAPER that is killed, the serving lock's file removed. The real
// module, in this process and in reaper-sim processes.

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "LogFileLines.h"
#include "ProcessResources.h"
#include "ReliabilityTesting.h"
#include "Subprocess.h"
#include "TemporaryHome.h"

using namespace reliability_testing;
using namespace std::chrono_literals;
using process_resources::pathExists;
using testing_support::countOf;
using testing_support::Subprocess;

namespace
{
constexpr const char* kLockFile = "/tmp/bv_reaper.lock";
const std::string requestFifo = ExtensionHarness::requestFifo;
const std::string replyFifo = ExtensionHarness::replyFifo;

// The extension notices a change within this much (it looks twice a second).
constexpr auto kNoticed = 2s;

void writeFile (const std::string& path, const std::string& text)
{
    std::ofstream (path, std::ios::binary) << text;
}

struct stat statOf (const std::string& path)
{
    struct stat info
    {
    };
    ::lstat (path.c_str(), &info);
    return info;
}

bool isOurFifo (const std::string& path)
{
    const auto info = statOf (path);
    return pathExists (path) && S_ISFIFO (info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0600;
}

// Removes whatever a test left at the pipe's paths, however it ended.
struct CleanPaths
{
    ~CleanPaths()
    {
        for (const auto& path : {requestFifo, replyFifo, std::string (kLockFile)})
        {
            ::unlink (path.c_str());
            ::rmdir (path.c_str());
        }
    }
};

// A version request from a client thread while the harness plays REAPER's main loop.
bool versionRoundTrip (ExtensionHarness& harness, int timeoutMs = 2000)
{
    const auto reply = harness.request (request_payloads::version(), timeoutMs);
    return reply && request_payloads::mismatch (*reply, {ExpectedReply::Kind::version, {}}).empty();
}

// Until a version request is answered, within the time the extension has to notice.
bool servedAgain (ExtensionHarness& harness)
{
    const auto deadline = std::chrono::steady_clock::now() + kNoticed + 1s;

    while (std::chrono::steady_clock::now() < deadline)
        if (versionRoundTrip (harness, 500))
            return true;

    return false;
}

bool pipeMadeAgain (ExtensionHarness& harness, int times = 1)
{
    return harness.pumpUntil ([&]
                              { return countOf (harness.logLines(), "pipe re-created") >= times && isOurFifo (requestFifo) && isOurFifo (replyFifo); },
                              kNoticed);
}
} // namespace

TEST (PipeSurvivalTest, FifosRemovedOneAtATimeOrBothAreMadeAgainWithinTwoSeconds)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> removed;
    };

    for (const auto& c : {Case{"the request FIFO", {requestFifo}}, Case{"the reply FIFO", {replyFifo}}, Case{"both", {requestFifo, replyFifo}}})
    {
        SCOPED_TRACE (c.name);
        CleanPaths cleanup;
        ExtensionHarness harness (kTimedEmptyProject);
        ASSERT_TRUE (harness.load().ok());
        ASSERT_TRUE (versionRoundTrip (harness));

        const auto keptInode = statOf (c.removed.size() == 1 && c.removed[0] == requestFifo ? replyFifo : requestFifo).st_ino;

        for (const auto& path : c.removed)
            ASSERT_EQ (::unlink (path.c_str()), 0);

        harness.resetTickStatistics();
        ASSERT_TRUE (pipeMadeAgain (harness));
        EXPECT_TRUE (versionRoundTrip (harness));

        // The FIFO still in place is the same file; the work was done off the main thread.
        if (c.removed.size() == 1)
        {
            EXPECT_EQ (statOf (c.removed[0] == requestFifo ? replyFifo : requestFifo).st_ino, keptInode);
        }
        EXPECT_LT (harness.longestTick(), 250ms);

        const auto lines = harness.logLines();
        EXPECT_EQ (countOf (lines, "pipe created"), 1);
        EXPECT_EQ (countOf (lines, "pipe re-created"), 1);

        harness.unload();
        EXPECT_TRUE (harness.pipeFiles().empty());
        EXPECT_FALSE (pathExists (kLockFile));
    }
}

TEST (PipeSurvivalTest, WhatTakesAFifosPlaceIsNeverTouchedAndTheExtensionServesAgainOnceItGoes)
{
    enum class Plant
    {
        regularFile,
        symlinkToFile,
        directory
    };

    struct Case
    {
        const char* name;
        Plant plant;
        const char* reason;
    };

    const std::vector<Case> cases = {
        {"a regular file", Plant::regularFile, "exists and is not a FIFO"},
        {"a symbolic link to a file", Plant::symlinkToFile, "is a symbolic link"},
        {"a directory", Plant::directory, "exists and is not a FIFO"},
    };

    for (const auto& at : {requestFifo, replyFifo})
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (std::string (c.name) + " at " + at);
            CleanPaths cleanup;
            ExtensionHarness harness (kTimedEmptyProject);
            ASSERT_TRUE (harness.load().ok());

            const auto target = harness.home().file ("target");
            writeFile (target, "precious");
            ASSERT_EQ (::unlink (at.c_str()), 0);

            switch (c.plant)
            {
                case Plant::regularFile:
                    writeFile (at, "precious");
                    break;
                case Plant::symlinkToFile:
                    ASSERT_EQ (::symlink (target.c_str(), at.c_str()), 0);
                    break;
                case Plant::directory:
                    ASSERT_EQ (::mkdir (at.c_str(), 0700), 0);
                    break;
            }

            const auto before = statOf (at);
            harness.resetTickStatistics();

            // Noticed, refused once, and tried again (twice a second) without a word more.
            const auto refusal = "Pipe not created: " + at + " " + c.reason;
            ASSERT_TRUE (harness.pumpUntil ([&]
                                            { return countOf (harness.logLines(), refusal) == 1; },
                                            kNoticed))
                << harness.logText();
            harness.pumpFor (1100ms);
            EXPECT_EQ (countOf (harness.logLines(), refusal), 1);

            // No one serves meanwhile. (Not asked with a regular file in the request FIFO's
            // place: the test's client would write its request into it.)
            if (!(at == requestFifo && c.plant == Plant::regularFile))
            {
                EXPECT_FALSE (versionRoundTrip (harness, 300));
            }

            const auto after = statOf (at);
            EXPECT_EQ (after.st_ino, before.st_ino);
            EXPECT_EQ (after.st_mode, before.st_mode);
            EXPECT_EQ (testing_support::readWholeFile (target), "precious");

            if (c.plant == Plant::regularFile)
            {
                EXPECT_EQ (testing_support::readWholeFile (at), "precious");
            }
            EXPECT_LT (harness.longestTick(), 250ms);

            // Gone: served again, with one line saying so.
            ASSERT_EQ (c.plant == Plant::directory ? ::rmdir (at.c_str()) : ::unlink (at.c_str()), 0);
            ASSERT_TRUE (pipeMadeAgain (harness));
            EXPECT_TRUE (versionRoundTrip (harness));
            EXPECT_EQ (countOf (harness.logLines(), "pipe re-created"), 1);
        }
    }
}

TEST (PipeSurvivalTest, ARequestHalfWrittenWhenTheFifosGoIsDroppedAndTheNextClientIsServed)
{
    CleanPaths cleanup;
    ExtensionHarness harness (kTimedEmptyProject);
    ASSERT_TRUE (harness.load().ok());

    const auto payload = request_payloads::version();
    const auto packet = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
    const std::string bytes (packet.begin(), packet.end());
    bool restWritten = true;
    std::optional<std::string> lateReply;

    harness.runClient ([&] (PipeClient& client)
                       {
        if (!client.open (ExtensionHarness::pipeName, 2000) || !client.sendRaw (bytes.substr (0, 6), 1000))
            return;

        ::unlink (requestFifo.c_str());
        ::unlink (replyFifo.c_str());

        // The rest goes into the old FIFO, which no one reads any more.
        std::this_thread::sleep_for (kNoticed);
        restWritten = client.sendRaw (bytes.substr (6), 500);
        lateReply = client.receive (500); });

    EXPECT_FALSE (restWritten && lateReply.has_value());
    ASSERT_TRUE (pipeMadeAgain (harness));
    EXPECT_TRUE (versionRoundTrip (harness));
    EXPECT_EQ (countOf (harness.logLines(), "Unable to parse message"), 0);
}

TEST (PipeSurvivalTest, FifosRemovedAgainAndAgainForTenSecondsNeverLeaveAClientStuckOrMisanswered)
{
    CleanPaths cleanup;
    ExtensionHarness harness (kTimedEmptyProject);
    ASSERT_TRUE (harness.load().ok());

    std::atomic<bool> stop{false};
    std::atomic<int> removals{0};

    ClientThread remover ([&]
                          {
        for (int round = 0; !stop; ++round)
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (150 + (round * 97) % 300));
            if (round % 3 != 1) ::unlink (requestFifo.c_str());
            if (round % 3 != 0) ::unlink (replyFifo.c_str());
            ++removals;
        } });

    // Every operation has a deadline, so each request ends answered or told by a timeout.
    struct Outcome
    {
        int answered = 0, wrong = 0, timedOut = 0;
        long long slowestMs = 0;
    } outcome;

    ClientThread client ([&]
                         {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end)
        {
            const auto start = std::chrono::steady_clock::now();
            PipeClient pipe;
            std::optional<std::string> reply;
            if (pipe.open (ExtensionHarness::pipeName, 500) && pipe.send (request_payloads::version(), 500))
                reply = pipe.receive (1000);

            if (!reply)
                ++outcome.timedOut;
            else if (request_payloads::mismatch (*reply, {ExpectedReply::Kind::version, {}}).empty())
                ++outcome.answered;
            else
                ++outcome.wrong;

            outcome.slowestMs = std::max<long long> (outcome.slowestMs,
                std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count());
        } });

    harness.resetTickStatistics();
    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return client.done(); },
                                    20s));
    stop = true;
    harness.pumpUntil ([&]
                       { return remover.done(); },
                       2s);
    client.join();
    remover.join();

    std::printf ("%d removals; %d answered, %d timed out, slowest request %lld ms; longest main-thread round %lld us\n",
                 removals.load(), outcome.answered, outcome.timedOut, outcome.slowestMs, (long long) harness.longestTick().count());
    EXPECT_GT (removals.load(), 20);
    EXPECT_GT (outcome.answered, 0);
    EXPECT_EQ (outcome.wrong, 0);
    EXPECT_LE (outcome.slowestMs, 500 + 500 + 1000 + 500);

    // A reply with no one left to read it waits out its deadline (1 s) on the pipe's writer
    // thread, never on the main thread.
    EXPECT_LT (harness.longestTick(), 200ms);

    EXPECT_TRUE (servedAgain (harness));
    EXPECT_EQ (countOf (harness.logLines(), "pipe created"), 1);
    EXPECT_GE (countOf (harness.logLines(), "pipe re-created"), 1);
    harness.unload();
    EXPECT_TRUE (harness.pipeFiles().empty());
}

TEST (PipeSurvivalTest, TheLockFileRemovedOrReplacedIsMadeAgainAndTheExtensionServesOn)
{
    enum class Change
    {
        removed,
        replacedByAFileOfOurs,
        replacedByASymlink
    };

    struct Case
    {
        const char* name;
        Change change;
    };

    for (const auto& c : {Case{"removed", Change::removed}, Case{"replaced by a file of ours", Change::replacedByAFileOfOurs},
                          Case{"replaced by a symbolic link", Change::replacedByASymlink}})
    {
        SCOPED_TRACE (c.name);
        CleanPaths cleanup;
        ExtensionHarness harness (kTimedEmptyProject);
        ASSERT_TRUE (harness.load().ok());
        const auto ownPid = std::to_string (::getpid()) + "\n";
        ASSERT_EQ (testing_support::readWholeFile (kLockFile), ownPid);
        const auto before = statOf (kLockFile).st_ino;

        ASSERT_EQ (::unlink (kLockFile), 0);
        const auto elsewhere = harness.home().file ("elsewhere");
        writeFile (elsewhere, "precious");

        if (c.change == Change::replacedByAFileOfOurs)
        {
            ASSERT_EQ (::rename (elsewhere.c_str(), kLockFile), 0);
        }
        if (c.change == Change::replacedByASymlink)
        {
            ASSERT_EQ (::symlink (elsewhere.c_str(), kLockFile), 0);
        }

        if (c.change == Change::replacedByASymlink)
        {
            const auto line = std::string ("Pipe lock not renewed: ") + kLockFile + " is a symbolic link";
            ASSERT_TRUE (harness.pumpUntil ([&]
                                            { return countOf (harness.logLines(), line) == 1; },
                                            kNoticed));
            harness.pumpFor (1100ms);
            EXPECT_EQ (countOf (harness.logLines(), line), 1);
            EXPECT_EQ (testing_support::readWholeFile (elsewhere), "precious");
            EXPECT_TRUE (versionRoundTrip (harness));
            ASSERT_EQ (::unlink (kLockFile), 0);
        }

        // Locked again at its place, with this process's id.
        ASSERT_TRUE (harness.pumpUntil ([&]
                                        { return pathExists (kLockFile) && statOf (kLockFile).st_ino != before && testing_support::readWholeFile (kLockFile) == ownPid; },
                                        kNoticed));
        EXPECT_TRUE (S_ISREG (statOf (kLockFile).st_mode));
        EXPECT_EQ (statOf (kLockFile).st_mode & 07777, 0600u);
        EXPECT_TRUE (versionRoundTrip (harness));

        const auto lines = harness.logLines();
        EXPECT_EQ (countOf (lines, "pipe created"), 1);
        EXPECT_EQ (countOf (lines, "pipe re-created"), 0);

        harness.unload();
        EXPECT_FALSE (pathExists (kLockFile));
    }
}

namespace
{
// A reaper-sim process with the module, its own home folder (so its own log) and project
// path, driven through its standard input.
class SimInstance
{
public:
    explicit SimInstance (const std::string& projectPath)
        : process ({REAPER_SIM_PATH, "--period", "5", "--project-path", projectPath, ExtensionHarness::modulePath()},
                   testing_support::withEnvironment ({"HOME=" + home.path()}))
    {
    }

    bool command (const std::string& line, const std::string& expected, std::chrono::milliseconds timeout = 5s)
    {
        process.writeInput (line + "\n");
        return process.waitForOutput (expected, timeout);
    }

    int processId() const
    {
        return process.processId();
    }

    std::vector<std::string> logLines() const
    {
        return testing_support::readLogLines (home.logFilePath());
    }

    testing_support::TemporaryHome home;
    Subprocess process;
};

// The project path the serving REAPER answers with, else what went wrong.
std::string whoAnswers (int timeoutMs = 2000)
{
    PipeClient client;

    if (!client.open (ExtensionHarness::pipeName, timeoutMs) || !client.send (request_payloads::session(), timeoutMs))
        return {};

    const auto reply = client.receive (timeoutMs);

    if (!reply)
        return "no reply";

    for (const auto* path : {"/A", "/B", "/C"})
        if (request_payloads::mismatch (*reply, {ExpectedReply::Kind::responseText, path}).empty())
            return path;

    return request_payloads::mismatch (*reply, {ExpectedReply::Kind::responseText, "/A"});
}

// Waits (up to 5 s) until every thread of the process is stopped: a stop signal reaches
// each thread only when it next runs, which on a busy machine may be after it read a request.
bool allThreadsStopped (int pid)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    const auto tasks = "/proc/" + std::to_string (pid) + "/task";

    while (std::chrono::steady_clock::now() < deadline)
    {
        bool allStopped = true;

        for (const auto& task : std::filesystem::directory_iterator (tasks))
        {
            // The state follows the command name in parentheses, which may hold spaces.
            const auto stat = testing_support::readWholeFile (task.path().string() + "/stat");
            const auto close = stat.rfind (')');
            allStopped = allStopped && close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'T';
        }

        if (allStopped)
            return true;

        std::this_thread::sleep_for (5ms);
    }

    return false;
}

std::string joined (const std::vector<std::string>& lines)
{
    std::string text;

    for (const auto& line : lines)
        text += line + "\n";

    return text;
}
} // namespace

TEST (PipeSurvivalTest, OneOfSeveralReaperSimProcessesServesAndAnotherTakesOverWhenItIsKilled)
{
    CleanPaths cleanup;
    testing_support::FixedPipeLock pipeLock;

    SimInstance a ("/A");
    ASSERT_TRUE (a.command ("wait-serving 5000", "pipe: served by this process")) << a.process.out();

    // A second REAPER waits, says who serves, and never answers.
    SimInstance b ("/B");
    const auto servedByA = "pipe: served by another process (pid " + std::to_string (a.processId()) + ")";
    ASSERT_TRUE (b.command ("status", servedByA)) << b.process.out();

    for (int i = 0; i < 10; ++i)
        ASSERT_EQ (whoAnswers(), "/A") << "request " << i;

    // It quits: the FIFOs stay the serving one's, which goes on answering.
    const auto requestInode = statOf (requestFifo).st_ino;
    EXPECT_EQ (b.process.finish (5s).exitCode, 0) << b.process.out();
    EXPECT_EQ (statOf (requestFifo).st_ino, requestInode);
    EXPECT_EQ (whoAnswers(), "/A");
    const auto bLog = b.logLines();
    EXPECT_EQ (countOf (bLog, "Pipe served by another REAPER (process " + std::to_string (a.processId()) + ")"), 1);
    EXPECT_EQ (countOf (bLog, "pipe created"), 0);

    // The lock file removed: the serving one locks it again; the one waiting keeps waiting.
    SimInstance c ("/C");
    ASSERT_TRUE (c.command ("status", servedByA)) << c.process.out();
    ASSERT_EQ (::unlink (kLockFile), 0);
    std::this_thread::sleep_for (kNoticed);
    EXPECT_EQ (testing_support::readWholeFile (kLockFile), std::to_string (a.processId()) + "\n");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (whoAnswers(), "/A") << "request " << i;

    // Killed while a client waits for its answer: the waiting one takes over and answers it.
    // Stopped first, every thread, so that the request is certainly left unread.
    a.process.sendSignal (SIGSTOP);
    ASSERT_TRUE (allThreadsStopped (a.processId()));
    std::string answeredBy;
    ClientThread client ([&]
                         { answeredBy = whoAnswers (6000); });
    std::this_thread::sleep_for (300ms);
    a.process.sendSignal (SIGKILL);
    const auto killedAt = std::chrono::steady_clock::now();

    ASSERT_TRUE (c.command ("wait-serving 5000", "pipe: served by this process")) << c.process.out();
    EXPECT_LT (std::chrono::steady_clock::now() - killedAt, kNoticed);
    client.join();
    EXPECT_EQ (answeredBy, "/C") << joined (c.logLines());
    EXPECT_EQ (whoAnswers(), "/C");
    EXPECT_EQ (countOf (c.logLines(), "pipe created"), 1);

    EXPECT_EQ (c.process.finish (5s).exitCode, 0) << c.process.out();
    EXPECT_FALSE (pathExists (requestFifo));
    EXPECT_FALSE (pathExists (replyFifo));
    EXPECT_FALSE (pathExists (kLockFile));
}
