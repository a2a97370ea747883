#include "MainLoop.h"

#include <algorithm>
#include <thread>

namespace reaper_host
{
MainLoop::MainLoop (TimerRegistry& timers, std::chrono::microseconds period)
    : registry (timers)
    , interval (std::max (period, std::chrono::microseconds (1)))
    , nextTick (Clock::now() + interval)
{
}

void MainLoop::tick()
{
    ++tickCount;

    if (!roundObserver)
    {
        registry.runAll();
        return;
    }

    const auto start = Clock::now();
    registry.runAll();
    roundObserver (std::chrono::duration_cast<std::chrono::microseconds> (Clock::now() - start));
}

void MainLoop::tickIfDue()
{
    const auto now = Clock::now();

    if (now < nextTick)
        return;

    tick();
    nextTick += interval;

    // After a long stall, start the rhythm again instead of running rounds back to back.
    if (nextTick < now)
        nextTick = now + interval;
}

std::chrono::microseconds MainLoop::timeUntilNextTick() const
{
    const auto now = Clock::now();
    return now >= nextTick ? std::chrono::microseconds (0) : std::chrono::duration_cast<std::chrono::microseconds> (nextTick - now);
}

void MainLoop::runFor (std::chrono::microseconds duration)
{
    runUntil ([]
              { return false; },
              duration);
}

bool MainLoop::runUntil (const std::function<bool()>& condition, std::chrono::microseconds timeout)
{
    const auto deadline = Clock::now() + timeout;

    if (condition())
        return true;

    for (;;)
    {
        const auto now = Clock::now();

        if (now >= deadline)
            return condition();

        std::this_thread::sleep_until (std::min (deadline, now + timeUntilNextTick()));
        const auto before = tickCount;
        tickIfDue();

        if (tickCount != before && condition())
            return true;
    }
}
} // namespace reaper_host
