#include "mainthread/MainThread.h"

#include <atomic>

#include "Platform.h"
#include "mainthread/MainThreadQueue.h"

namespace main_thread
{
namespace
{
MainThreadQueue& waiting()
{
    static MainThreadQueue queue;
    return queue;
}

std::atomic<unsigned> round{0};

// The round the platform schedules. On Linux REAPER runs its timers from inside a modal loop
// that one of our rounds started (a message box), and on Windows such a loop dispatches the
// round posted to the message window: a round inside a round does nothing.
// On macOS it never comes: the main queue runs nothing while one of its blocks runs, so a
// dialog opened from a round holds the whole main queue (REAPER's and AppKit's work too)
// until it closes.
void runScheduledRound()
{
    static bool inside = false;

    if (inside)
        return;

    inside = true;
    runRound();
    inside = false;
}
} // namespace

void post (std::function<void()> work)
{
    waiting().post (std::move (work));
    platform::requestRound();
}

unsigned currentRound()
{
    return round.load();
}

int runRound (int maxItems)
{
    ++round;
    const int run = waiting().runPending (maxItems, MainThreadQueue::Clock::now() + kRoundBudget);

    if (waiting().size() > 0)
        platform::requestRound();

    return run;
}

bool start (const reaper_plugin_info_t& rec)
{
    if (!platform::startMainThreadRounds (rec, &runScheduledRound))
        return false;

    // Work posted before the rounds were switched on asked for a round that could not come
    // yet, and its poster asks only once (an inbox asks when it stops being empty): ask now.
    if (waiting().size() > 0)
        platform::requestRound();

    return true;
}

void stop()
{
    platform::stopMainThreadRounds();

    // What was posted for the departing bridge is not run; its pipe ignores it anyway.
    waiting().clear();
}
} // namespace main_thread
