#pragma once

#include <functional>
#include <thread>

// The host's main thread, the one REAPER calls its extensions on, as each system has it.
// One implementation per system (HostMainThreadLinux.cpp, HostMainThreadMac.cpp,
// HostMainThreadWindows.cpp: the first thread runs a message loop, as on macOS it runs the
// main queue).
//
// On Linux the program's own thread is the main thread and REAPER's timers are all an
// extension gets there. On macOS REAPER's main thread runs the main dispatch queue, so an
// extension's work queued there runs as soon as it is queued; the stand-in host's process
// thread does the same from its run loop, and the program runs on a thread of its own that
// hands everything REAPER's main thread does (loading, timer rounds, unloading) to the main
// queue and waits for it.
namespace reaper_host::host_main_thread
{
// Runs program (argc, argv) and ends the process with its result. Call it from main() with
// main()'s thread; on Linux it returns the program's result instead.
int runProgram (int (*program) (int, char**), int argc, char** argv);

// Runs work on the host's main thread and returns once it has run; at once when called
// there, or when no main thread has been set up (runProgram not used).
void call (const std::function<void()>& work);

// What a modal dialog's own loop does when opened on the main thread: runs what waits for the
// main thread now (Windows: the messages posted to its windows, an extension's rounds
// included). Nothing where no such loop runs inside a call (Linux: REAPER's timers are the
// host's to call; macOS: the main queue runs nothing inside one of its blocks).
// [main thread]
void runModalLoopOnce();

// The host's main thread: the one runProgram was called on where that runs the main queue,
// else the calling thread. Host calls from any other thread are faults.
std::thread::id id();

// True where an extension's main-thread rounds come on demand from the main queue (macOS)
// rather than from the host's timers: the host's timer rounds then run none of its work.
bool extensionRoundsComeOnDemand();
} // namespace reaper_host::host_main_thread
