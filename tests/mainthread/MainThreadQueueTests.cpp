#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "HostMainThread.h"
#include "Platform.h"
#include "mainthread/MainThread.h"
#include "mainthread/MainThreadQueue.h"

namespace
{
using Clock = MainThreadQueue::Clock;

Clock::time_point later()
{
    return Clock::now() + std::chrono::seconds (10);
}
} // namespace

TEST (MainThreadQueueTest, RunsOnlyWhatWasWaitingWhenTheCallBegan)
{
    MainThreadQueue queue;
    std::vector<std::string> ran;

    queue.post ([&]
                {
                    ran.push_back ("first");
                    queue.post ([&]
                                { ran.push_back ("posted while running"); }); });
    queue.post ([&]
                { ran.push_back ("second"); });

    EXPECT_EQ (queue.runPending (100, later()), 2);
    EXPECT_EQ (ran, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ (queue.size(), 1u);

    EXPECT_EQ (queue.runPending (100, later()), 1);
    EXPECT_EQ (ran.back(), "posted while running");
    EXPECT_EQ (queue.runPending (100, later()), 0);
}

TEST (MainThreadQueueTest, StopsAtTheItemLimitAndTheDeadline)
{
    struct Case
    {
        const char* label;
        int maxItems;
        int itemMilliseconds;
        int budgetMilliseconds;
        int expectedRun;
    };

    const Case cases[] = {
        {"item limit", 3, 0, 10000, 3},
        {"deadline already passed: the first still runs", 100, 0, -1, 1},
        {"deadline passes during the third item", 100, 40, 100, 3},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.label);
        MainThreadQueue queue;
        int ran = 0;

        for (int i = 0; i < 10; ++i)
            queue.post ([&]
                        {
                            ++ran;
                            std::this_thread::sleep_for (std::chrono::milliseconds (c.itemMilliseconds)); });

        EXPECT_EQ (queue.runPending (c.maxItems, Clock::now() + std::chrono::milliseconds (c.budgetMilliseconds)), c.expectedRun);
        EXPECT_EQ (ran, c.expectedRun);
        EXPECT_EQ (queue.size(), 10u - static_cast<std::size_t> (c.expectedRun));
    }
}

TEST (MainThreadQueueTest, ClearDropsWaitingItemsAlsoFromInsideOne)
{
    MainThreadQueue queue;
    int ran = 0;

    queue.post ([&]
                {
                    ++ran;
                    queue.clear(); });
    queue.post ([&]
                { ++ran; });

    EXPECT_EQ (queue.runPending (100, later()), 1);
    EXPECT_EQ (ran, 1);
    EXPECT_EQ (queue.size(), 0u);
}

TEST (MainThreadQueueTest, ItemsPostedFromOtherThreadsAllRunOnceInEachThreadsOrder)
{
    MainThreadQueue queue;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::vector<int>> seen (kThreads);

    std::vector<std::thread> posters;

    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back ([&, t]
                              {
                                  for (int i = 0; i < kPerThread; ++i)
                                      queue.post ([&seen, t, i]
                                                  { seen[static_cast<std::size_t> (t)].push_back (i); }); });

    int total = 0;
    const auto deadline = Clock::now() + std::chrono::seconds (20);

    while (total < kThreads * kPerThread && Clock::now() < deadline)
        total += queue.runPending (64, later());

    for (auto& poster : posters)
        poster.join();

    EXPECT_EQ (total, kThreads * kPerThread);

    for (const auto& fromOneThread : seen)
    {
        ASSERT_EQ (fromOneThread.size(), static_cast<std::size_t> (kPerThread));

        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ (fromOneThread[static_cast<std::size_t> (i)], i);
    }
}

// main_thread's rounds as the platform brings them: REAPER's timer where the platform
// registers one (Linux), else the main queue (macOS) or the message window (Windows), which
// the host's main thread serves by itself. Started and stopped there, as REAPER's load and
// unload calls are.
namespace
{
std::atomic<void (*)()> registeredTimer{nullptr};

int registerWithHost (const char* name, void* function)
{
    if (std::strcmp (name, "timer") == 0)
        registeredTimer = reinterpret_cast<void (*)()> (function);
    else if (std::strcmp (name, "-timer") == 0)
        registeredTimer = nullptr;

    return 1;
}

reaper_plugin_info_t hostRecord()
{
    return {kReaperPluginVersion, nullptr, &registerWithHost, nullptr};
}

class MainThreadRoundsTest : public ::testing::Test
{
protected:
    ~MainThreadRoundsTest() override
    {
        reaper_host::host_main_thread::call ([]
                                             { main_thread::stop(); });
    }

    static bool startRounds()
    {
        bool started = false;
        reaper_host::host_main_thread::call ([&]
                                             { started = main_thread::start (hostRecord()); });
        return started;
    }

    void note (const std::string& event)
    {
        const std::lock_guard<std::mutex> guard (lock);
        events.push_back (event);
    }

    std::vector<std::string> noted()
    {
        const std::lock_guard<std::mutex> guard (lock);
        return events;
    }

    // Turns REAPER's timer (where there is one) until `count` events are noted.
    bool roundsUntilNoted (std::size_t count)
    {
        const auto deadline = Clock::now() + std::chrono::seconds (5);

        while (noted().size() < count && Clock::now() < deadline)
        {
            if (auto* timer = registeredTimer.load())
                timer();
            else
                std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }

        return noted().size() >= count;
    }

    std::mutex lock;
    std::vector<std::string> events;
};
} // namespace

TEST_F (MainThreadRoundsTest, WorkPostedBeforeTheRoundsStartRunsOnceTheyDo)
{
    main_thread::post ([this]
                       { note ("ran"); });

    ASSERT_TRUE (startRounds());
    EXPECT_TRUE (roundsUntilNoted (1)) << "nothing asked for a round after the start";
}

// A message box opened from a round runs REAPER's timers (Linux), or its own message loop
// (Windows), while the second request is already waiting: its round must not start inside
// the first one's.
TEST_F (MainThreadRoundsTest, NoRoundStartsInsideARound)
{
    ASSERT_TRUE (startRounds());

    main_thread::post ([this]
                       {
                           note ("first begins");
                           main_thread::post ([this]
                                              { note ("second"); });

                           if (auto* timer = registeredTimer.load())
                               timer();

                           reaper_host::host_main_thread::runModalLoopOnce();
                           note ("first ends"); });

    ASSERT_TRUE (roundsUntilNoted (3));
    EXPECT_EQ (noted(), (std::vector<std::string>{"first begins", "first ends", "second"}));
}

// REAPER's unload call stops the rounds: a round asked for just before, still waiting in the
// host's loop (a message posted to the message window, a block queued on the main queue),
// never runs once the call has returned, when the DLL may be gone.
TEST_F (MainThreadRoundsTest, ARoundAskedForBeforeTheRoundsStopNeverRuns)
{
    static std::atomic<int> rounds{0};
    rounds = 0;
    reaper_host::host_main_thread::call ([]
                                         {
                                             ASSERT_TRUE (platform::startMainThreadRounds (hostRecord(), []
                                                                                           { ++rounds; }));
                                             platform::requestRound();
                                             platform::stopMainThreadRounds(); });

    std::this_thread::sleep_for (std::chrono::milliseconds (200));
    reaper_host::host_main_thread::call ([] {});
    EXPECT_EQ (rounds.load(), 0);
}

// A round takes at most its limit: the one that runs them must ask for the next by itself.
// Posted and started on the main thread, where the start's round waits until they are in.
TEST_F (MainThreadRoundsTest, MoreItemsThanARoundTakesAllRunWithNoFurtherPost)
{
    constexpr int kItems = main_thread::kMaxItemsPerRound + 1;
    reaper_host::host_main_thread::call ([this]
                                         {
                                             for (int i = 0; i < kItems; ++i)
                                                 main_thread::post ([this]
                                                                    { note ("ran"); });
                                             main_thread::start (hostRecord()); });

    EXPECT_TRUE (roundsUntilNoted (kItems)) << noted().size() << " of " << kItems << " ran";
}

// The main queue cannot take back a round it holds: once the rounds stop, that round runs
// nothing, not even work posted after the stop, which waits for the next start.
TEST_F (MainThreadRoundsTest, ARoundQueuedBeforeTheStopRunsNothing)
{
    ASSERT_TRUE (startRounds());
    reaper_host::host_main_thread::call ([this]
                                         {
                                             main_thread::post ([this]
                                                                { note ("posted before the stop"); });
                                             main_thread::stop();
                                             main_thread::post ([this]
                                                                { note ("posted after the stop"); }); });
    reaper_host::host_main_thread::call ([] {}); // after the round queued meanwhile

    EXPECT_EQ (noted(), std::vector<std::string>{});
    ASSERT_TRUE (startRounds());
    EXPECT_TRUE (roundsUntilNoted (1));
    EXPECT_EQ (noted(), std::vector<std::string>{"posted after the stop"});
}

// Far fewer than the round's item limit, each slower than half the budget: the budget alone
// ends the round after one or two.
TEST_F (MainThreadRoundsTest, TheRoundBudgetStopsARoundOfSlowItems)
{
    constexpr int kItems = 10;
    static_assert (kItems < main_thread::kMaxItemsPerRound, "the item limit must not be what stops the round");
    static constexpr auto kItemTime = main_thread::kRoundBudget * 4 / 5;

    for (int i = 0; i < kItems; ++i)
        main_thread::post ([]
                           { std::this_thread::sleep_for (kItemTime); });

    const int run = main_thread::runRound();
    EXPECT_GE (run, 1);
    EXPECT_LE (run, 2);
}
