#pragma once

#include <csignal>

namespace reaper_host
{
// Turns Ctrl-C (SIGINT) and SIGTERM (Windows: Ctrl+C, Ctrl+Break, the console closing) into a flag the main loop checks, so the program
// can unload its extensions cleanly instead of dying mid-call.
class StopSignal
{
public:
    // Installs the handlers; blocking calls then return early with EINTR.
    static void install();

    static bool requested();

    // The signal that asked to stop, or 0.
    static int signalNumber();
};
} // namespace reaper_host
