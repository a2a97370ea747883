// macOS: REAPER's main thread runs the main dispatch queue from its run loop, so a round
// posted there runs as soon as the run loop turns, between REAPER's own events. Uses only
// the system library (libdispatch, pthreads, the dynamic loader).

#include "Platform.h"

#include <atomic>

#include <dispatch/dispatch.h>
#include <dlfcn.h>
#include <pthread.h>

#include "logging/StandardError.h"

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
    auto* round = roundFunction.load();

    if (round != nullptr)
        round();
}

// A round posted to the main queue cannot be taken back, and it runs code of this module:
// the module stays mapped after REAPER's unload call (which REAPER makes as it quits), so a
// round still queued then finds nothing to do instead of code that is gone.
void keepModuleMapped()
{
    Dl_info info;

    if (dladdr (reinterpret_cast<const void*> (&runRound), &info) != 0 && info.dli_fname != nullptr)
        dlopen (info.dli_fname, RTLD_NOLOAD | RTLD_NODELETE);
}
} // namespace

bool startMainThreadRounds (const reaper_plugin_info_t&, void (*round)())
{
    static const bool pinned = (keepModuleMapped(), true);
    static_cast<void> (pinned);

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

void showAlertWithoutHost (const std::string& title, const std::string& message)
{
    standard_error::write (title + "\n" + message + "\n");
}

void setCurrentThreadName (const char* name)
{
    // macOS names only the calling thread, up to 63 bytes.
    pthread_setname_np (name);
}
} // namespace platform
