#include "TimerRegistry.h"

#include <algorithm>

namespace reaper_host
{
void TimerRegistry::add (TimerFn fn)
{
    if (fn != nullptr && !contains (fn))
        timers.push_back (fn);
}

bool TimerRegistry::remove (TimerFn fn)
{
    auto found = std::find (timers.begin(), timers.end(), fn);

    if (found == timers.end())
        return false;

    timers.erase (found);
    return true;
}

void TimerRegistry::clear()
{
    timers.clear();
    roundCount = 0;
}

void TimerRegistry::runAll()
{
    ++roundCount;
    const auto snapshot = timers;

    for (auto fn : snapshot)
        if (contains (fn))
            fn();
}

bool TimerRegistry::contains (TimerFn fn) const
{
    return std::find (timers.begin(), timers.end(), fn) != timers.end();
}
} // namespace reaper_host
