#include <chrono>

#include <gtest/gtest.h>

#include "MainLoop.h"

using namespace reaper_host;
using namespace std::chrono_literals;

namespace
{
int calls = 0;

void countCall()
{
    ++calls;
}
} // namespace

TEST (MainLoop, TicksOnlyWhenThePeriodHasPassed)
{
    TimerRegistry timers;
    timers.add (&countCall);
    calls = 0;

    MainLoop loop (timers, 50ms);
    loop.tickIfDue();
    EXPECT_EQ (calls, 0);
    EXPECT_GT (loop.timeUntilNextTick(), 0us);

    loop.runFor (120ms);
    EXPECT_GE (calls, 2);
    EXPECT_LE (calls, 3);
    EXPECT_EQ (loop.ticks(), calls);
}

TEST (MainLoop, RunUntilStopsWhenTheConditionHoldsOrTimesOut)
{
    TimerRegistry timers;
    timers.add (&countCall);
    calls = 0;
    MainLoop loop (timers, 1ms);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE (loop.runUntil ([]
                                { return calls >= 5; },
                                5s));
    EXPECT_EQ (calls, 5);
    EXPECT_LT (std::chrono::steady_clock::now() - start, 1s);

    EXPECT_FALSE (loop.runUntil ([]
                                 { return false; },
                                 10ms));
    EXPECT_TRUE (loop.runUntil ([]
                                { return true; },
                                0ms));
}
