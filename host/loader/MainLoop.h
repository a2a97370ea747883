#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "TimerRegistry.h"

namespace reaper_host
{
// REAPER's main-thread loop: calls every registered timer on the host's main thread once
// per period (REAPER's is about 33 ms), between whatever else the caller does. On Linux
// that is the calling thread; on macOS the loop's rounds are main-queue work, and the main
// queue also runs whatever an extension queues there in between (HostMainThread.h).
class MainLoop
{
public:
    using Clock = std::chrono::steady_clock;

    // How long one round of timers held the thread: by the clock, and on the CPU (the
    // time without the moments the machine gave the core to something else).
    struct Round
    {
        std::chrono::nanoseconds wall{0};
        std::chrono::nanoseconds cpu{0};
    };

    explicit MainLoop (TimerRegistry& timers, std::chrono::microseconds period = std::chrono::milliseconds (33));

    // One round of timers, now.
    void tick();

    // A round of timers if the period has passed since the last due one.
    void tickIfDue();

    // Time until the next round is due; zero when it is due already.
    std::chrono::microseconds timeUntilNextTick() const;

    // Keeps ticking at the period for this long.
    void runFor (std::chrono::microseconds duration);

    // Keeps ticking until the condition holds (checked before the first round and after
    // every round) or the timeout passes; the result is the condition's last value.
    bool runUntil (const std::function<bool()>& condition, std::chrono::microseconds timeout);

    // Runs the job on a thread of its own (a client of the extension, say) and keeps
    // ticking here until it has returned. The job must end by itself: give it timeouts.
    void runWhile (const std::function<void()>& job);

    // Called after every round with how long the timers held the thread; empty by default,
    // so a loop that nobody measures reads no clock for it.
    void setRoundObserver (std::function<void (const Round&)> observer)
    {
        roundObserver = std::move (observer);
    }

    long long ticks() const
    {
        return tickCount;
    }

    std::chrono::microseconds period() const
    {
        return interval;
    }

private:
    void runTimers();
    static bool holds (const std::function<bool()>& condition);

    TimerRegistry& registry;
    std::chrono::microseconds interval;
    Clock::time_point nextTick;
    long long tickCount = 0;
    std::function<void (const Round&)> roundObserver;
};
} // namespace reaper_host
