#pragma once

#include <functional>

#include <juce_core/juce_core.h>

#include "host/ReaperTypes.h"

// What differs between the systems REAPER runs on: who delivers JUCE's messages on
// REAPER's main thread, and how an alert is shown. One implementation per system.
namespace platform
{
// Has the message thread (REAPER's main thread) run the work later, in posting order.
// Callable from any thread.
void postToMessageThread (std::function<void()> work);

// Delivers, on the calling (message) thread and without waiting, work posted before the call
// (at most maxRounds items, and no new one once a short time budget is spent) and JUCE's
// pending messages (in at most maxRounds dispatch rounds). Returns the number of items and
// rounds that delivered something. Where the host's own run loop delivers messages, does
// nothing.
int deliverPendingMessages (int maxRounds);

// Runs the function on the message thread at a later delivery of messages, never within the
// one under way, so that a long backlog of work is spread over several of the host's rounds
// and REAPER gets its main thread back in between. Called on the message thread.
void callOnNextDelivery (std::function<void()> function);

// Counts the rounds of message delivery on the message thread, so that work can keep to a
// budget per round. Where the host's run loop delivers a few messages at a time, every call
// starts a new round.
unsigned deliveryRound();

// Arranges for REAPER's main thread to deliver JUCE's messages from now on.
void startMessageDelivery (const reaper_plugin_info_t& rec);

// Undoes startMessageDelivery; safe to call when it was never started.
void stopMessageDelivery();

// Shows a blocking alert with one OK button on the calling thread.
void showAlert (const juce::String& title, const juce::String& message, HostGetFunc getFunc);
} // namespace platform
