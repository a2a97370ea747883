// macOS: REAPER's main thread runs the main dispatch queue from its run loop, so a round
// posted there runs as soon as the run loop turns, between REAPER's own events. Uses only the system library (libdispatch, pthreads).

#include "Platform.h"

#include <atomic>
#include <cstdio>

#include <dispatch/dispatch.h>
#include <pthread.h>

namespace platform
{
namespace
{
std::atomic<void (*)()> roundFunction{nullptr};

// At most one round waits in the queue at a time: a burst of posts asks for one round,
// which then asks for the next while work is left.
std::atomic<bool> roundQueued{false};

void runRound (void*)
{
    roundQueued = false;

    if (auto* round = roundFunction.load())
        round();
}
} // namespace

bool startMainThreadRounds (const reaper_plugin_info_t&, void (*round)())
{
    roundFunction = round;
    return true;
}

void requestRound()
{
    if (roundFunction.load() == nullptr || roundQueued.exchange (true))
        return;

    dispatch_async_f (dispatch_get_main_queue(), nullptr, &runRound);
}

void stopMainThreadRounds()
{
    roundFunction = nullptr;
}

const char* logFolderInHome()
{
    return "Library/Logs";
}

void setCurrentThreadName (const char* name)
{
    // macOS names only the calling thread, up to 63 bytes.
    pthread_setname_np (name);
}
} // namespace platform
