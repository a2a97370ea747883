#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "TimerRegistry.h"

// REAPER's main thread for a benchmark: calls the host's timers at the period on the
// calling thread while a client job runs on a thread of its own, and records how long
// every round of timers held the main thread.
class HostPump
{
public:
    HostPump (reaper_host::TimerRegistry& timers, std::chrono::microseconds period);

    // Runs the job on a new thread and keeps ticking until it returns. False when the job
    // did not finish within the timeout (it is then still waited for, ticking on).
    bool runWhile (const std::function<void()>& job, std::chrono::milliseconds timeout);

    // Keeps ticking for this long, without a job.
    void runFor (std::chrono::microseconds duration);

    // Duration of every round since construction or the last clearRecords(), in µs.
    const std::vector<double>& tickMicroseconds() const
    {
        return ticks;
    }

    // Sum of the rounds' durations in seconds: the main thread's busy time.
    double busySeconds() const;

    // CPU time the main thread used inside the rounds, in seconds: the busy time without the
    // moments the machine gave the core to something else.
    double busyCpuSeconds() const
    {
        return cpuSeconds;
    }

    void clearRecords()
    {
        ticks.clear();
        cpuSeconds = 0;
    }

private:
    void tickWhenDue();

    reaper_host::TimerRegistry& registry;
    std::chrono::microseconds period;
    std::chrono::steady_clock::time_point nextTick;
    std::vector<double> ticks;
    double cpuSeconds = 0;
};
