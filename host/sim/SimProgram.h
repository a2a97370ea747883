#pragma once

#include "SimOptions.h"

namespace reaper_host
{
// Exit codes of reaper-sim.
enum SimExitCode
{
    exitOk = 0,
    exitCommandFailed = 1, // a bad command or a wait that timed out, in a script or piped input
    exitSetupFailed = 2,   // bad options, a library that would not load, an unreadable script
    exitInterrupted = 130, // Ctrl-C or SIGTERM, after a clean unload
};

// Runs the console host: sets up the project, loads the extensions, carries out the
// commands from the script or standard input while ticking the timers, then unloads.
int runSimProgram (const SimOptions& options);
} // namespace reaper_host
