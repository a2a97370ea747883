// macOS: the process's first thread runs the main dispatch queue for good (dispatch_main), as
// REAPER's main thread runs it from its run loop; the program runs on a thread of its own
// and hands REAPER's main-thread calls to the main queue. Uses only libdispatch and pthreads
// (libSystem), so the host needs no framework.

#include "HostMainThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <dispatch/dispatch.h>
#include <pthread.h>

namespace reaper_host::host_main_thread
{
namespace
{
std::atomic<bool> mainQueueRuns{false};
pthread_t mainThread;

struct Program
{
    int (*function) (int, char**);
    int argc;
    char** argv;
};

void* runAndExit (void* context)
{
    auto* program = static_cast<Program*> (context);
    std::exit (program->function (program->argc, program->argv));
}

void runWork (void* context)
{
    (*static_cast<const std::function<void()>*> (context))();
}
} // namespace

int runProgram (int (*program) (int, char**), int argc, char** argv)
{
    static Program running{program, argc, argv};
    mainThread = pthread_self();

    // From here on the program's main-thread calls queue up, to run once dispatch_main turns.
    mainQueueRuns = true;

    // A program's thread gets 8 MiB of stack, as the process's first thread does.
    pthread_attr_t attributes;
    pthread_attr_init (&attributes);
    pthread_attr_setstacksize (&attributes, 8u << 20);
    pthread_t programThread;
    const int failed = pthread_create (&programThread, &attributes, &runAndExit, &running);
    pthread_attr_destroy (&attributes);

    if (failed != 0)
    {
        mainQueueRuns = false;
        std::fprintf (stderr, "cannot start the program's thread\n");
        return 1;
    }

    dispatch_main();
}

void call (const std::function<void()>& work)
{
    if (!mainQueueRuns || pthread_equal (pthread_self(), mainThread) != 0)
    {
        work();
        return;
    }

    dispatch_sync_f (dispatch_get_main_queue(), const_cast<std::function<void()>*> (&work), &runWork);
}

void runModalLoopOnce()
{
}

bool extensionRoundsComeOnDemand()
{
    return true;
}
} // namespace reaper_host::host_main_thread
