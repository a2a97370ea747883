#include "MainLoop.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include <time.h>

#include "HostMainThread.h"

namespace reaper_host
{
namespace
{
std::chrono::nanoseconds threadCpuTime()
{
    timespec now{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds (now.tv_sec) + std::chrono::nanoseconds (now.tv_nsec);
}
} // namespace

MainLoop::MainLoop (TimerRegistry& timers, std::chrono::microseconds period)
    : registry (timers)
    , interval (std::max (period, std::chrono::microseconds (1)))
    , nextTick (Clock::now() + interval)
{
}

void MainLoop::tick()
{
    host_main_thread::call ([this]
                            { runTimers(); });
}

void MainLoop::runTimers()
{
    ++tickCount;

    if (!roundObserver)
    {
        registry.runAll();
        return;
    }

    const auto cpuStart = threadCpuTime();
    const auto start = Clock::now();
    registry.runAll();
    const auto end = Clock::now();
    roundObserver ({end - start, threadCpuTime() - cpuStart});
}

void MainLoop::tickIfDue()
{
    const auto now = Clock::now();

    if (now < nextTick)
        return;

    tick();
    nextTick += interval;

    // As in REAPER, the next round comes a period after this one was due; after a round or
    // a stall longer than that, the rhythm starts again a period after this round ended
    // rather than running rounds back to back.
    const auto end = Clock::now();

    if (nextTick < end)
        nextTick = end + interval;
}

std::chrono::microseconds MainLoop::timeUntilNextTick() const
{
    const auto now = Clock::now();
    return now >= nextTick ? std::chrono::microseconds (0) : std::chrono::duration_cast<std::chrono::microseconds> (nextTick - now);
}

// Checked on the main thread, like everything else the loop's rounds look at.
bool MainLoop::holds (const std::function<bool()>& condition)
{
    bool result = false;
    host_main_thread::call ([&]
                            { result = condition(); });
    return result;
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

    if (holds (condition))
        return true;

    for (;;)
    {
        const auto now = Clock::now();

        if (now >= deadline)
            return holds (condition);

        std::this_thread::sleep_until (std::min (deadline, now + timeUntilNextTick()));
        const auto before = tickCount;
        tickIfDue();

        if (tickCount != before && holds (condition))
            return true;
    }
}

void MainLoop::runWhile (const std::function<void()>& job)
{
    std::atomic<bool> finished{false};
    std::thread worker ([&]
                        {
                            job();
                            finished = true; });

    while (!runUntil ([&]
                      { return finished.load(); },
                      std::chrono::seconds (1)))
    {
    }

    worker.join();
}
} // namespace reaper_host
