// Linux: REAPER's main loop knows nothing of JUCE's message queue, so a REAPER timer
// delivers the work posted to the main thread; alerts go through REAPER's own message box,
// since JUCE's drawn windows need a display and a window manager.

#include "Platform.h"

#include <atomic>
#include <cstdio>

#include <juce_events/juce_events.h>

#include "MainThreadQueue.h"

namespace juce
{
// Defined in JUCE's Linux messaging code; not declared in any public header.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace platform
{
namespace
{
// Bound the work one timer tick does on REAPER's main thread, which also draws REAPER's
// user interface. JUCE's own queue cannot be bounded by count (one dispatch round runs every
// message queued, including those that arrive meanwhile), so posted work has a queue of its own.
constexpr int kMaxRoundsPerTick = 64;
constexpr auto kPostedWorkBudget = std::chrono::milliseconds (50);

MainThreadQueue& postedWork()
{
    static MainThreadQueue queue;
    return queue;
}

int (*registerWithHost) (const char*, void*) = nullptr;
std::atomic<bool> timerRegistered{false};
bool insideTick = false;
std::atomic<unsigned> currentRound{0};

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

void postToMessageThread (std::function<void()> work)
{
    postedWork().post (std::move (work));
}

void callOnNextDelivery (std::function<void()> function)
{
    // A delivery runs only what was queued when it began, so this waits for the next one.
    postedWork().post (std::move (function));
}

unsigned deliveryRound()
{
    return currentRound.load();
}

int deliverPendingMessages (int maxRounds)
{
    ++currentRound;
    int delivered = postedWork().runPending (maxRounds, MainThreadQueue::Clock::now() + kPostedWorkBudget);

    // Without a message manager JUCE's run loop does not exist, and the dispatch would spin.
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        return delivered;

    for (int rounds = 0; rounds < maxRounds && juce::dispatchNextMessageOnSystemQueue (true); ++rounds)
        ++delivered;

    return delivered;
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

    // What was posted for the departing bridge is not run; its connection ignores it anyway.
    postedWork().clear();
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
