// The part of libdispatch that the extension and the stand-in host use, for a Linux build
// of the macOS platform files. Declared as Apple's header declares them; only the main
// queue exists. Behaves as Apple documents the main queue: work runs one item at a time, in
// the order queued (items given a time once it has come), on the thread that runs the main
// queue, and never while an item of the main queue is running there. As on a Mac, the main
// thread runs it only from its run loop (CoreFoundation's CFRunLoopRun, which this library
// also gives); dispatch_main ends the main thread instead.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C"
{
#endif

    typedef struct bv_dispatch_queue_s* dispatch_queue_t;
    typedef void (*dispatch_function_t) (void*);
    typedef uint64_t dispatch_time_t;

#define DISPATCH_TIME_NOW (0ull)
#define DISPATCH_TIME_FOREVER (~0ull)

#ifndef NSEC_PER_SEC
#define NSEC_PER_SEC 1000000000ull
#endif
#ifndef NSEC_PER_MSEC
#define NSEC_PER_MSEC 1000000ull
#endif
#ifndef NSEC_PER_USEC
#define NSEC_PER_USEC 1000ull
#endif

    __attribute__ ((visibility ("default"))) dispatch_queue_t dispatch_get_main_queue (void);

    // Queues work and returns at once; any thread.
    __attribute__ ((visibility ("default"))) void dispatch_async_f (dispatch_queue_t queue, void* context, dispatch_function_t work);

    // Queues work and waits until the queue's thread has run it. Called from the main queue's
    // own thread it can never return: libdispatch stops the process, and so does this.
    __attribute__ ((visibility ("default"))) void dispatch_sync_f (dispatch_queue_t queue, void* context, dispatch_function_t work);

    // Queues work to run once the time has come.
    __attribute__ ((visibility ("default"))) void dispatch_after_f (dispatch_time_t when, dispatch_queue_t queue, void* context, dispatch_function_t work);

    // A time `delta` nanoseconds after `when` (DISPATCH_TIME_NOW: now).
    __attribute__ ((visibility ("default"))) dispatch_time_t dispatch_time (dispatch_time_t when, int64_t delta);

    // Ends the calling thread (the process goes on until exit()); from then on the main
    // queue's work runs on another thread, as libdispatch runs it on its worker threads.
    __attribute__ ((visibility ("default"), noreturn)) void dispatch_main (void);

#ifdef __cplusplus
}
#endif
