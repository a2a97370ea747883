#include "HostMainThread.h"
#include "SimOptions.h"
#include "SimProgram.h"

namespace
{
int runReaperSim (int argc, char** argv)
{
    reaper_host::SimOptions options;
    int exitCode = 0;

    if (!reaper_host::parseSimOptions (argc, argv, options, exitCode))
        return exitCode;

    return reaper_host::runSimProgram (options);
}
} // namespace

// The program runs beside the host's main thread where that thread runs the main dispatch
// queue (macOS), and on it elsewhere.
int main (int argc, char** argv)
{
    return reaper_host::host_main_thread::runProgram (&runReaperSim, argc, argv);
}
