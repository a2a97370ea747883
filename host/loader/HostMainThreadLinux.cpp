// Linux: the program's thread is the main thread; extensions' rounds come from its timers.

#include "HostMainThread.h"

namespace reaper_host::host_main_thread
{
int runProgram (int (*program) (int, char**), int argc, char** argv)
{
    return program (argc, argv);
}

void call (const std::function<void()>& work)
{
    work();
}

void runModalLoopOnce()
{
}

std::thread::id id()
{
    return std::this_thread::get_id();
}

bool extensionRoundsComeOnDemand()
{
    return false;
}
} // namespace reaper_host::host_main_thread
