#pragma once

#include <string>

#include "api/ReaperTypes.h"

// What differs between the systems REAPER runs on: what brings work onto REAPER's main
// thread and how a thread is named. One
// implementation per system (PlatformLinux.cpp, PlatformMac.cpp, PlatformWindows.cpp).
namespace platform
{
// Arranges for REAPER's main thread to call round() again and again from now on: on Linux
// at each tick of a REAPER timer, on macOS soon after each requestRound(). False when that
// cannot be arranged.
bool startMainThreadRounds (const reaper_plugin_info_t& rec, void (*round)());

// Asks for a call of round() on the main thread as soon as the host's run loop turns. Any
// thread. Where rounds come anyway (a timer), it does nothing.
void requestRound();

// Undoes startMainThreadRounds; safe to call when it was never started. A round already
// requested but not yet run finds nothing to do.
void stopMainThreadRounds();

// Shows a blocking alert with one OK button when the host offers no message box of its own:
// on Windows a MessageBoxW; elsewhere standard error (which never holds the caller), as
// there is no toolkit to show one.
// [main thread]
void showAlertWithoutHost (const std::string& title, const std::string& message);

// Names the calling thread, for debuggers and crash reports.
void setCurrentThreadName (const char* name);
} // namespace platform
