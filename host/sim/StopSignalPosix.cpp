// Linux and macOS: SIGINT and SIGTERM set the flag; SIGPIPE is ignored.

#include "StopSignal.h"

#include <cstring>

namespace reaper_host
{
namespace
{
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal (int signal)
{
    stopSignal = signal;
}
} // namespace

void StopSignal::install()
{
    struct sigaction action;
    std::memset (&action, 0, sizeof (action));
    action.sa_handler = &onStopSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: poll and sleeps return at once

    sigaction (SIGINT, &action, nullptr);
    sigaction (SIGTERM, &action, nullptr);

    // A reader of our output that goes away must not kill the host.
    signal (SIGPIPE, SIG_IGN);
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
