#include "MainThread.h"

#include <atomic>

#include "MainThreadQueue.h"
#include "Platform.h"

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

// The round the platform schedules. REAPER can run timers and its main queue from inside a
// modal loop that one of our rounds started: such a round inside a round does nothing.
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
    return platform::startMainThreadRounds (rec, &runScheduledRound);
}

void stop()
{
    platform::stopMainThreadRounds();

    // What was posted for the departing bridge is not run; its pipe ignores it anyway.
    waiting().clear();
}
} // namespace main_thread
