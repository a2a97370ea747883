// Linux: REAPER's main loop offers extensions nothing but timers, so a REAPER timer runs the
// main thread's rounds.

#include "Platform.h"

#include <atomic>
#include <cstdio>

#include <pthread.h>

#include "logging/StandardError.h"

namespace platform
{
namespace
{
int (*registerWithHost) (const char*, void*) = nullptr;
void (*roundFunction)() = nullptr;
std::atomic<bool> timerRegistered{false};

void timerTick()
{
    if (roundFunction != nullptr)
        roundFunction();
}
} // namespace

bool startMainThreadRounds (const reaper_plugin_info_t& rec, void (*round)())
{
    if (timerRegistered)
        return true;

    if (rec.Register == nullptr)
        return false;

    roundFunction = round;
    registerWithHost = rec.Register;
    timerRegistered = registerWithHost ("timer", reinterpret_cast<void*> (&timerTick)) != 0;
    return timerRegistered;
}

void requestRound()
{
}

void stopMainThreadRounds()
{
    if (!timerRegistered)
        return;

    registerWithHost ("-timer", reinterpret_cast<void*> (&timerTick));
    timerRegistered = false;
}

void showAlertWithoutHost (const std::string& title, const std::string& message)
{
    standard_error::write (title + "\n" + message + "\n");
}

void setCurrentThreadName (const char* name)
{
    // The kernel keeps 15 bytes of a thread's name.
    char shortName[16] = {};
    std::snprintf (shortName, sizeof (shortName), "%s", name);
    pthread_setname_np (pthread_self(), shortName);
}
} // namespace platform
