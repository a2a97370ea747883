// The module under conditions REAPER users meet: a path in /tmp that is not ours, many
// load/unload cycles in one REAPER session, a host that runs timers re-entrantly, and a
// backlog of requests that must not hold REAPER's main thread in one tick.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "Hex.h"
#include "LogFileLines.h"
#include "reaper.pb.h"

using testing_support::ExtensionHarness;

namespace
{
int entriesIn (const char* folder)
{
    std::error_code error;
    int count = 0;

    for (auto it = std::filesystem::directory_iterator (folder, error); !error && it != std::filesystem::directory_iterator(); it.increment (error))
        ++count;

    return count;
}

// A regular file planted where the request FIFO belongs, removed again at the end.
class PlantedFile
{
public:
    explicit PlantedFile (std::string filePath)
        : path (std::move (filePath))
    {
        std::ofstream (path) << "not a fifo";
    }

    ~PlantedFile()
    {
        std::error_code ignored;
        std::filesystem::remove (path, ignored);
    }

    bool isRegularFile() const
    {
        struct stat info;
        return ::lstat (path.c_str(), &info) == 0 && S_ISREG (info.st_mode);
    }

    const std::string path;
};

// A source whose file-name query, which the extension makes on REAPER's main thread while
// a timer tick delivers a request, runs the host's timers again, as REAPER may do while
// something modal is up.
class ReenteringSource : public PCM_source
{
public:
    explicit ReenteringSource (std::function<void()> whileAsked)
        : hook (std::move (whileAsked))
    {
    }

    PCM_source* Duplicate() override
    {
        return nullptr;
    }
    bool IsAvailable() override
    {
        return true;
    }
    void SetAvailable (bool) override
    {
    }
    const char* GetType() override
    {
        return "WAVE";
    }
    const char* GetFileName() override
    {
        hook();
        return "/sounds/reentry.wav";
    }
    bool SetFileName (const char*) override
    {
        return false;
    }
    PCM_source* GetSource() override
    {
        return nullptr;
    }
    void SetSource (PCM_source*) override
    {
    }
    int GetNumChannels() override
    {
        return 1;
    }
    double GetSampleRate() override
    {
        return 48000;
    }
    double GetLength() override
    {
        return 1;
    }

private:
    std::function<void()> hook;
};
} // namespace

TEST (PipeCreationFailureTest, ARegularFileAtTheRequestFifosPathStillLoadsWithAnAssertionLine)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.pipeFiles().empty()) << "a pipe file of another run is in the way";

    const PlantedFile planted ("/tmp/bv_reaper_in");
    const auto result = harness.load();

    EXPECT_TRUE (result.ok()) << result.message;
    EXPECT_EQ (result.entryResult, 1);

    const auto lines = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (testing_support::countOf (lines, "pipe created"), 0);
    EXPECT_TRUE (std::any_of (lines.begin(), lines.end(), testing_support::isAssertionLine)) << "no assertion line";

    EXPECT_TRUE (planted.isRegularFile()) << "the extension touched a file that is not its own";
    EXPECT_EQ (harness.pipeFiles(), std::vector<std::string>{planted.path}) << "the reply FIFO was left behind";

    // The extension stays loaded and ticks without a pipe; the unload is as usual.
    harness.pumpFor (std::chrono::milliseconds (20));
    EXPECT_EQ (harness.unload(), 0);
    const auto afterUnload = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (afterUnload.empty() ? "(no lines)" : afterUnload.back(), "~ReaperBridge");
    EXPECT_TRUE (planted.isRegularFile());
}

TEST (LoadCyclesTest, FiftyLoadUnloadCyclesLeaveNoPipeFilesThreadsOrDescriptors)
{
    ExtensionHarness harness;

    // The first cycle may bring up process-wide things for good (libraries the module uses).
    ASSERT_TRUE (harness.load().ok());
    ASSERT_EQ (harness.unload(), 0);
    const int descriptorsBefore = entriesIn ("/proc/self/fd");
    const int threadsBefore = entriesIn ("/proc/self/task");

    for (int cycle = 0; cycle < 50; ++cycle)
    {
        const auto loaded = harness.load();
        ASSERT_TRUE (loaded.ok()) << "cycle " << cycle << ": " << loaded.message;

        if (cycle % 10 == 0)
        {
            const auto reply = harness.request (testing_support::fromHex ("0803"));
            ASSERT_TRUE (reply.has_value()) << "cycle " << cycle;
        }

        ASSERT_EQ (harness.unload(), 0) << "cycle " << cycle;
        ASSERT_TRUE (harness.pipeFiles().empty()) << "cycle " << cycle;
    }

    EXPECT_EQ (entriesIn ("/proc/self/fd"), descriptorsBefore);
    EXPECT_EQ (entriesIn ("/proc/self/task"), threadsBefore);
    EXPECT_EQ (testing_support::bannerCount (harness.logLines()), 51);
    EXPECT_EQ (harness.host().timers().count(), 0);
}

TEST (TimerReentryTest, ATimerCallFromInsideTheTimerDeliversNothing)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());
    ASSERT_EQ (harness.host().timers().count(), ExtensionHarness::timersOfALoadedExtension());

    // A modal loop opened inside a round calls REAPER's timers again (Linux); where rounds
    // come from the main queue (macOS) nothing runs inside a main-queue block at all.
    const auto extensionTimer = harness.host().timers().all().empty() ? nullptr : harness.host().timers().all().front();

    int reentries = 0;
    int explorerCallsSeenInside = -1;

    auto& host = harness.host();
    auto& item = host.addItem (*host.track (0), 0.0, 1.0);
    auto& take = host.addTake (item, "reentry");
    host.setTakeSource (take, std::make_unique<ReenteringSource> ([&]
                                                                  {
                                                                      ++reentries;
                                                                      if (extensionTimer != nullptr)
                                                                          extensionTimer();
                                                                      explorerCallsSeenInside = host.journal().countOf ("OpenMediaExplorer"); }));
    host.selectItem (item);

    BVReaper::ClientMessage selected;
    selected.set_type (BVReaper::ClientMessage::SELECTED_FILE_REQUEST);
    BVReaper::ClientMessage explore;
    explore.set_type (BVReaper::ClientMessage::OPEN_PROJECT_REQUEST);
    explore.mutable_open_project()->set_path ("/sounds/other.wav");

    std::vector<std::optional<std::string>> replies;
    std::atomic<bool> bothSent{false};

    std::thread client ([&]
                        {
                            PipeClient pipe;
                            if (pipe.open ("bv_reaper", 3000))
                            {
                                pipe.send (selected.SerializeAsString(), 1000);
                                pipe.send (explore.SerializeAsString(), 1000);
                                bothSent = true;
                                replies.push_back (pipe.receive (3000));
                                replies.push_back (pipe.receive (3000));
                            }
                            bothSent = true; });

    // Both requests queued before any round delivers them: REAPER's main thread is busy
    // meanwhile (rounds that come on demand would otherwise take the first at once).
    reaper_host::host_main_thread::call ([&]
                                         {
                                             while (!bothSent)
                                                 std::this_thread::sleep_for (std::chrono::milliseconds (1));
                                             std::this_thread::sleep_for (std::chrono::milliseconds (100)); });

    harness.pumpUntil ([&]
                       { return replies.size() == 2; },
                       std::chrono::milliseconds (5000));
    client.join();

    EXPECT_EQ (reentries, 1);
    EXPECT_EQ (explorerCallsSeenInside, 0) << "the nested timer call handled the next request";
    EXPECT_EQ (host.journal().countOf ("OpenMediaExplorer"), 1);

    ASSERT_EQ (replies.size(), 2u);
    ASSERT_TRUE (replies[0].has_value() && replies[1].has_value());
    BVReaper::ServerMessage first, second;
    ASSERT_TRUE (first.ParseFromString (*replies[0]));
    ASSERT_TRUE (second.ParseFromString (*replies[1]));
    EXPECT_EQ (first.type(), BVReaper::ServerMessage::RESPONSE) << "replies out of request order";
    EXPECT_EQ (second.type(), BVReaper::ServerMessage::COMMAND_RESULT);
}

TEST (TimerWorkBoundTest, ABacklogOfRequestsIsServedABoundedRunPerTickInOrder)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());
    harness.host().setProjectPath ("/projects/flood");
    const auto timers = harness.host().timers().all();
    ASSERT_EQ (timers.size(), static_cast<std::size_t> (ExtensionHarness::timersOfALoadedExtension()));

    // One of the extension's rounds: REAPER's timer runs it (Linux). Where rounds come from
    // the main queue on their own (macOS), a turn of ours there lets at most one through,
    // since the extension keeps one round queued at a time and queues the next at its end.
    const auto oneRound = [&]
    {
        if (!timers.empty())
            timers.front()();
        else
            reaper_host::host_main_thread::call ([] {});
    };

    constexpr int kRequests = 3000;
    std::atomic<bool> allSent{false};
    std::atomic<int> repliesInOrder{0};
    std::atomic<bool> clientDone{false};

    std::thread client ([&]
                        {
                            PipeClient pipe;

                            if (pipe.open ("bv_reaper", 3000))
                            {
                                std::thread reader ([&]
                                                    {
                                                        for (int i = 0; i < kRequests; ++i)
                                                        {
                                                            const auto reply = pipe.receive (5000);
                                                            BVReaper::ServerMessage message;

                                                            if (!reply || !message.ParseFromString (*reply) || message.response().text() != "/projects/flood")
                                                                break;

                                                            ++repliesInOrder;
                                                        }
                                                    });

                                for (int i = 0; i < kRequests; ++i)
                                    pipe.send (testing_support::fromHex ("0804"), 1000); // project path

                                allSent = true;
                                reader.join();
                            }

                            allSent = true;
                            clientDone = true; });

    // The whole backlog is queued before the first round: REAPER's main thread is busy.
    reaper_host::host_main_thread::call ([&]
                                         {
                                             while (!allSent)
                                                 std::this_thread::sleep_for (std::chrono::milliseconds (1));
                                             std::this_thread::sleep_for (std::chrono::milliseconds (200)); });

    // The connection hands on at most this many packets per delivery round (one tick).
    constexpr int kMostPacketsPerTick = 256;
    int mostInOneTick = 0;
    int ticks = 0;
    auto longestTick = std::chrono::steady_clock::duration::zero();

    while (!clientDone && ticks < 100000)
    {
        const int before = harness.host().journal().countOf ("GetProjectPath");
        const auto tickStart = std::chrono::steady_clock::now();
        oneRound();
        longestTick = std::max (longestTick, std::chrono::steady_clock::now() - tickStart);
        mostInOneTick = std::max (mostInOneTick, harness.host().journal().countOf ("GetProjectPath") - before);
        ++ticks;
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    client.join();

    EXPECT_EQ (repliesInOrder, kRequests);
    EXPECT_EQ (harness.host().journal().countOf ("GetProjectPath"), kRequests);

    // The work budget of a round is a few milliseconds; a shared, slow machine gets slack.
    // Where rounds come on their own, this is how long a turn of ours waited behind one.
    EXPECT_LT (longestTick, std::chrono::milliseconds (100));

    // Only REAPER's timer calls mark where one round ends and the next begins; on the main
    // queue the next round may come before our next turn.
    if (!timers.empty())
    {
        EXPECT_LE (mostInOneTick, kMostPacketsPerTick) << "one tick served the backlog at once, holding REAPER's main thread";
        EXPECT_GE (ticks, kRequests / kMostPacketsPerTick);
    }
}
