#pragma once

#include <vector>

#include "MainLoop.h"

// Records every round of timers that the host's main loop runs while it lives: how long
// each held the main thread, and the CPU time the thread used in them.
class TimerRounds
{
public:
    explicit TimerRounds (reaper_host::MainLoop& mainLoop);
    ~TimerRounds();

    TimerRounds (const TimerRounds&) = delete;
    TimerRounds& operator= (const TimerRounds&) = delete;

    // Duration of every round, in µs.
    const std::vector<double>& microseconds() const
    {
        return rounds;
    }

    // Sum of the rounds' durations in seconds: the main thread's busy time.
    double busySeconds() const;

    // CPU time the main thread used inside the rounds, in seconds: the busy time without the
    // moments the machine gave the core to something else.
    double busyCpuSeconds() const
    {
        return cpuSeconds;
    }

private:
    reaper_host::MainLoop& loop;
    std::vector<double> rounds;
    double cpuSeconds = 0;
};
