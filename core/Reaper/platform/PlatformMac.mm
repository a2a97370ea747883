// macOS: REAPER's main run loop delivers JUCE's messages, and JUCE shows native alerts.

#include "Platform.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace platform
{
void postToMessageThread (std::function<void()> work)
{
    juce::MessageManager::callAsync (std::move (work));
}

int deliverPendingMessages (int)
{
    return 0;
}

unsigned deliveryRound()
{
    static unsigned round = 0;
    return ++round;
}

void callOnNextDelivery (std::function<void()> function)
{
    // REAPER's run loop delivers JUCE's messages a few at a time between its own events.
    juce::MessageManager::callAsync (std::move (function));
}

void startMessageDelivery (const reaper_plugin_info_t&)
{
}

void stopMessageDelivery()
{
}

void showAlert (const juce::String& title, const juce::String& message, HostGetFunc)
{
    juce::AlertWindow::showNativeDialogBox (title, message, false);
}
} // namespace platform
