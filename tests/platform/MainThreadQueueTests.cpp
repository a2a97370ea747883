#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MainThreadQueue.h"

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
