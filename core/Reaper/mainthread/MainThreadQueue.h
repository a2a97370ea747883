#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

// Work handed to REAPER's main thread by other threads, run there in posting order a bounded
// amount at a time, so that one timer tick never holds the main thread for long however fast
// requests arrive.
class MainThreadQueue
{
public:
    using Clock = std::chrono::steady_clock;

    MainThreadQueue() = default;
    MainThreadQueue (const MainThreadQueue&) = delete;
    MainThreadQueue& operator= (const MainThreadQueue&) = delete;

    // [any thread]
    void post (std::function<void()> work);

    // Runs, oldest first, the items that were waiting when the call began: at most maxItems,
    // and after the first none started once the deadline has passed (an item once started
    // runs to its end). Items posted meanwhile wait for the next call. Returns the number run.
    // [main thread]
    int runPending (int maxItems, Clock::time_point deadline);

    // Drops every waiting item without running it. [any thread]
    void clear();

    // [any thread]
    std::size_t size() const;

private:
    mutable std::mutex lock;
    std::deque<std::function<void()>> items;
};
