#include "HostPump.h"

#include <atomic>
#include <thread>

#include <time.h>

namespace
{
using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double> (now.tv_sec) + static_cast<double> (now.tv_nsec) * 1e-9;
}
} // namespace

HostPump::HostPump (reaper_host::TimerRegistry& timers, std::chrono::microseconds periodToUse)
    : registry (timers)
    , period (periodToUse)
    , nextTick (Clock::now() + periodToUse)
{
}

void HostPump::tickWhenDue()
{
    std::this_thread::sleep_until (nextTick);

    const auto cpuStart = threadCpuSeconds();
    const auto start = Clock::now();
    registry.runAll();
    const auto end = Clock::now();
    cpuSeconds += threadCpuSeconds() - cpuStart;
    ticks.push_back (std::chrono::duration<double, std::micro> (end - start).count());

    // Like REAPER, the next round comes a period after this one was due; after a stall the
    // rhythm starts again rather than running rounds back to back.
    nextTick += period;

    if (nextTick < end)
        nextTick = end + period;
}

bool HostPump::runWhile (const std::function<void()>& job, std::chrono::milliseconds timeout)
{
    std::atomic<bool> done{false};
    std::thread client ([&]
                        {
                            job();
                            done = true; });

    const auto deadline = Clock::now() + timeout;
    bool inTime = true;

    nextTick = Clock::now() + period;

    while (!done)
    {
        tickWhenDue();

        if (inTime && Clock::now() > deadline)
            inTime = false;
    }

    client.join();
    return inTime;
}

void HostPump::runFor (std::chrono::microseconds duration)
{
    const auto end = Clock::now() + duration;
    nextTick = Clock::now() + period;

    while (nextTick < end)
        tickWhenDue();

    std::this_thread::sleep_until (end);
}

double HostPump::busySeconds() const
{
    double sum = 0;

    for (auto micros : ticks)
        sum += micros;

    return sum * 1e-6;
}
