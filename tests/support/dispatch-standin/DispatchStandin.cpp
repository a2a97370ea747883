// The main queue of libdispatch, and CoreFoundation's run loop that runs it on the main
// thread, for a Linux build of the macOS platform files (see dispatch/dispatch.h). One queue per process: the extension and the host link this one
// shared library, so both queue onto the same main queue.

#include <dispatch/dispatch.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

struct bv_dispatch_queue_s
{
};

namespace
{
using Clock = std::chrono::steady_clock;

struct Item
{
    dispatch_time_t due = 0; // 0: at once
    void* context = nullptr;
    dispatch_function_t work = nullptr;
    bool* finished = nullptr; // dispatch_sync_f waits for it
};

struct MainQueue
{
    bv_dispatch_queue_s identity;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Item> items;
    std::thread::id thread; // set once, by CFRunLoopRun or dispatch_main
};

// Never destroyed: the main queue's thread waits on it until the process ends, after
// static objects are gone.
MainQueue& mainQueue()
{
    static auto* queue = new MainQueue();
    return *queue;
}

[[noreturn]] void misuse (const char* what)
{
    std::fprintf (stderr, "dispatch stand-in: %s\n", what);
    std::abort();
}

void checkQueue (dispatch_queue_t queue)
{
    if (queue != &mainQueue().identity)
        misuse ("only the main queue exists here");
}

dispatch_time_t nowNs()
{
    return static_cast<dispatch_time_t> (std::chrono::duration_cast<std::chrono::nanoseconds> (Clock::now().time_since_epoch()).count());
}

void enqueue (Item item)
{
    auto& queue = mainQueue();
    {
        const std::lock_guard<std::mutex> guard (queue.lock);
        queue.items.push_back (item);
    }
    queue.changed.notify_all();
}

// The first item whose time has come, in queue order; else the earliest time to wait for.
bool takeNext (MainQueue& queue, Item& next, dispatch_time_t& wakeAt)
{
    const auto now = nowNs();
    wakeAt = DISPATCH_TIME_FOREVER;

    for (auto it = queue.items.begin(); it != queue.items.end(); ++it)
    {
        if (it->due <= now)
        {
            next = *it;
            queue.items.erase (it);
            return true;
        }

        if (it->due < wakeAt)
            wakeAt = it->due;
    }

    return false;
}
} // namespace

extern "C"
{
    dispatch_queue_t dispatch_get_main_queue (void)
    {
        return &mainQueue().identity;
    }

    void dispatch_async_f (dispatch_queue_t queue, void* context, dispatch_function_t work)
    {
        checkQueue (queue);
        enqueue ({0, context, work, nullptr});
    }

    void dispatch_after_f (dispatch_time_t when, dispatch_queue_t queue, void* context, dispatch_function_t work)
    {
        checkQueue (queue);

        if (when == DISPATCH_TIME_FOREVER)
            return;

        enqueue ({when, context, work, nullptr});
    }

    void dispatch_sync_f (dispatch_queue_t queue, void* context, dispatch_function_t work)
    {
        checkQueue (queue);
        auto& main = mainQueue();

        if (std::this_thread::get_id() == main.thread)
            misuse ("dispatch_sync_f onto the main queue from its own thread (a deadlock)");

        bool finished = false;
        enqueue ({0, context, work, &finished});

        std::unique_lock<std::mutex> guard (main.lock);
        main.changed.wait (guard, [&]
                           { return finished; });
    }

    dispatch_time_t dispatch_time (dispatch_time_t when, int64_t delta)
    {
        if (when == DISPATCH_TIME_FOREVER)
            return when;

        const auto base = when == DISPATCH_TIME_NOW ? nowNs() : when;
        return static_cast<dispatch_time_t> (static_cast<int64_t> (base) + delta);
    }

    // Runs the main queue's work on the calling thread for good.
    [[noreturn]] static void runMainQueue()
    {
        auto& queue = mainQueue();
        std::unique_lock<std::mutex> guard (queue.lock);

        if (queue.thread != std::thread::id())
            misuse ("the main queue is run twice");

        queue.thread = std::this_thread::get_id();

        for (;;)
        {
            Item next;
            dispatch_time_t wakeAt;

            if (!takeNext (queue, next, wakeAt))
            {
                if (wakeAt == DISPATCH_TIME_FOREVER)
                    queue.changed.wait (guard);
                else
                    queue.changed.wait_until (guard, Clock::time_point (std::chrono::nanoseconds (wakeAt)));

                continue;
            }

            // One item at a time, unlocked while it runs so any thread can queue more.
            guard.unlock();
            next.work (next.context);
            guard.lock();

            if (next.finished != nullptr)
            {
                *next.finished = true;
                queue.changed.notify_all();
            }
        }
    }

    // Apple's: the calling thread ends, and the main queue's work runs from then on on another
    // thread, as libdispatch runs it on its worker threads.
    void dispatch_main (void)
    {
        std::thread (&runMainQueue).detach();
        pthread_exit (nullptr);
    }

    // CoreFoundation's (its users declare it: Zig carries no framework headers). The main
    // thread's run loop, which runs the main queue's work on that thread, for good.
    __attribute__ ((visibility ("default"))) void CFRunLoopRun (void);

    void CFRunLoopRun (void)
    {
        if (syscall (SYS_gettid) != getpid())
            misuse ("CFRunLoopRun runs the main queue only on the main thread");

        runMainQueue();
    }
}
