// Windows: Ctrl+C, Ctrl+Break and the console window's closing set the flag. The system
// calls the handler on a thread of its own, so the flag is atomic; a waiting ReadFile is not
// interrupted, but the program never waits longer than a timer period for input.

#include "StopSignal.h"

#include <atomic>

#include <windows.h>

namespace reaper_host
{
namespace
{
std::atomic<int> stopSignal{0};

BOOL WINAPI onConsoleEvent (DWORD event)
{
    stopSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;

    // Closing the console ends the process when the handler returns: give the program the
    // time it needs to unload, as the system allows (about 5 s).
    if (event == CTRL_CLOSE_EVENT)
        ::Sleep (4000);

    return TRUE;
}
} // namespace

void StopSignal::install()
{
    ::SetConsoleCtrlHandler (&onConsoleEvent, TRUE);
}

bool StopSignal::requested()
{
    return stopSignal != 0;
}

int StopSignal::signalNumber()
{
    return stopSignal;
}
} // namespace reaper_host
