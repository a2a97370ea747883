// macOS: the process's first thread runs the main run loop for good, as REAPER's main thread
// does, and that loop runs the main dispatch queue's work on it; the program runs on a thread
// of its own and hands REAPER's main-thread calls to the main queue. Not dispatch_main: it
// ends the first thread, and the main queue's work then runs on libdispatch's worker
// threads, where REAPER never calls an extension. Uses libdispatch and pthreads (libSystem)
// and CoreFoundation's run loop.

#include "HostMainThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <dispatch/dispatch.h>
#include <pthread.h>
#include <thread>

// CoreFoundation's, as its header declares it (Zig carries no framework headers): runs the
// calling thread's run loop until stopped; the main thread's also runs the main queue.
extern "C" void CFRunLoopRun (void);

namespace reaper_host::host_main_thread
{
namespace
{
std::atomic<bool> mainQueueRuns{false};
std::thread::id mainThreadId;

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
    mainThreadId = std::this_thread::get_id();

    // From here on the program's main-thread calls queue up, to run once the run loop turns.
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

    CFRunLoopRun();

    // The main thread's run loop ends only when stopped, which nothing here does.
    std::fprintf (stderr, "the main run loop ended\n");
    std::_Exit (1);
}

void call (const std::function<void()>& work)
{
    if (!mainQueueRuns || std::this_thread::get_id() == mainThreadId)
    {
        work();
        return;
    }

    dispatch_sync_f (dispatch_get_main_queue(), const_cast<std::function<void()>*> (&work), &runWork);
}

void runModalLoopOnce()
{
}

std::thread::id id()
{
    return mainQueueRuns ? mainThreadId : std::this_thread::get_id();
}

bool extensionRoundsComeOnDemand()
{
    return true;
}
} // namespace reaper_host::host_main_thread
