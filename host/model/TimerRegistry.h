#pragma once

#include <vector>

namespace reaper_host
{
// The "timer" callbacks extensions registered with the host, in registration order.
class TimerRegistry
{
public:
    using TimerFn = void (*)();

    // A callback registered twice is kept once, as REAPER does.
    void add (TimerFn fn);

    // False when the callback was not registered.
    bool remove (TimerFn fn);

    void clear();

    // Calls every registered timer once, in registration order. A timer that another
    // timer removes during the round is not called.
    void runAll();

    int count() const
    {
        return static_cast<int> (timers.size());
    }

    bool contains (TimerFn fn) const;

    const std::vector<TimerFn>& all() const
    {
        return timers;
    }

    // Number of runAll rounds since construction or clear().
    long long rounds() const
    {
        return roundCount;
    }

private:
    std::vector<TimerFn> timers;
    long long roundCount = 0;
};
} // namespace reaper_host
