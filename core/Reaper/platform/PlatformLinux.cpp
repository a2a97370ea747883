// Linux: REAPER's main loop knows nothing of JUCE's message queue, so a REAPER timer
// delivers it; alerts go through REAPER's own message box, since JUCE's drawn windows
// need a display and a window manager.

#include "Platform.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include <juce_events/juce_events.h>

namespace juce
{
// Defined in JUCE's Linux messaging code; not declared in any public header.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace platform
{
namespace
{
// Bounds the work one timer tick does on REAPER's main thread.
constexpr int kMaxRoundsPerTick = 64;

int (*registerWithHost) (const char*, void*) = nullptr;
std::atomic<bool> timerRegistered{false};
bool insideTick = false;

std::atomic<unsigned> currentRound{0};

// Work handed to callOnNextDelivery, run at the start of the next delivery.
std::mutex deferredLock;
std::vector<std::function<void()>> deferred;

// Runs the work deferred before this call; what it defers in turn waits for the next one.
bool runDeferred()
{
    std::vector<std::function<void()>> due;

    {
        const std::lock_guard<std::mutex> guard (deferredLock);
        due.swap (deferred);
    }

    for (auto& function : due)
        function();

    return !due.empty();
}

void timerTick()
{
    // REAPER can run timers from inside a modal loop that one of our callbacks started.
    if (insideTick)
        return;

    insideTick = true;
    deliverPendingMessages (kMaxRoundsPerTick);
    insideTick = false;
}
} // namespace

int deliverPendingMessages (int maxRounds)
{
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        return 0;

    ++currentRound;
    int delivered = runDeferred() ? 1 : 0;

    while (delivered < maxRounds && juce::dispatchNextMessageOnSystemQueue (true))
        ++delivered;

    return delivered;
}

unsigned deliveryRound()
{
    return currentRound;
}

void callOnNextDelivery (std::function<void()> function)
{
    const std::lock_guard<std::mutex> guard (deferredLock);
    deferred.push_back (std::move (function));
}

void startMessageDelivery (const reaper_plugin_info_t& rec)
{
    if (timerRegistered || rec.Register == nullptr)
        return;

    registerWithHost = rec.Register;
    timerRegistered = registerWithHost ("timer", reinterpret_cast<void*> (&timerTick)) != 0;
}

void stopMessageDelivery()
{
    if (!timerRegistered)
        return;

    registerWithHost ("-timer", reinterpret_cast<void*> (&timerTick));
    timerRegistered = false;

    const std::lock_guard<std::mutex> guard (deferredLock);
    deferred.clear();
}

void showAlert (const juce::String& title, const juce::String& message, HostGetFunc getFunc)
{
    using ShowMessageBoxFn = int (*) (const char* msg, const char* title, int type);
    auto* showMessageBox = getFunc != nullptr ? reinterpret_cast<ShowMessageBoxFn> (getFunc ("ShowMessageBox")) : nullptr;

    if (showMessageBox != nullptr)
    {
        showMessageBox (message.toRawUTF8(), title.toRawUTF8(), 0);
        return;
    }

    std::fprintf (stderr, "%s\n%s\n", title.toRawUTF8(), message.toRawUTF8());
}
} // namespace platform
