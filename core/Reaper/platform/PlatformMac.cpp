// macOS: REAPER's main thread runs the main dispatch queue from its run loop, so a round
// posted there runs as soon as the run loop turns, between REAPER's own events. Uses only
// the system library (libdispatch, pthreads, the dynamic loader).

#include "Platform.h"

#include <atomic>
#include <string>

#include <dispatch/dispatch.h>
#include <pthread.h>

#include "ModulePin.h"
#include "logging/Log.h"
#include "logging/StandardError.h"

namespace platform
{
namespace
{
std::atomic<void (*)()> roundFunction{nullptr};

// At most one round waits in the queue at a time: a burst of posts asks for one round,
// which then asks for the next while work is left.
std::atomic<bool> roundQueued{false};

// Whether the module is kept mapped, and if it could not be, why, for the next round to log:
// the load call comes before the bridge has its log file. [main thread]
bool modulePinned = false;
std::string pinFailure;

void runRound (void*)
{
    roundQueued = false;
    auto* round = roundFunction.load();

    if (round == nullptr)
        return;

    if (!pinFailure.empty())
    {
        logging::writeToLog (pinFailure);
        pinFailure.clear();
    }

    round();
}

} // namespace

bool startMainThreadRounds (const reaper_plugin_info_t&, void (*round)())
{
    // A round posted to the main queue cannot be taken back, and it runs code of this module:
    // the module stays mapped after REAPER's unload call (which REAPER makes as it quits), so a
    // round still queued then finds nothing to do instead of code that is gone.
    if (!modulePinned)
    {
        const auto pin = module_pin::keepMapped();
        modulePinned = pin.wasOk();

        if (pin.failed())
            pinFailure = "Module not kept in memory (" + pin.errorMessage() + "): a round still queued at unload could run after it is gone";
    }

    roundFunction = round;

    // A round to log that, once the bridge has its log.
    if (!pinFailure.empty())
        requestRound();

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
