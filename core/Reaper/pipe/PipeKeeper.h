#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <string>

#include "pipe/PipeConnection.h"
#include "pipe/ServingLock.h"

// How often the keeper looks, and how it paces making the pipe again after a loss.
struct PipeKeeperTiming
{
    std::chrono::milliseconds checkInterval{500};

    // After a lost connection the pipe is made again after this pause, doubled each time
    // it is lost again soon, up to the longest.
    std::chrono::milliseconds firstRetryPause{250};
    std::chrono::milliseconds longestRetryPause{30000};

    // A pipe that served this long before it was lost starts the pause afresh.
    std::chrono::milliseconds stableAfter{10000};
};

// Keeps a pipe served for as long as its owner lives, by one process of this user at a time.
// It takes the serving lock /tmp/<pipe name>.lock and makes the pipe; while another process
// holds the lock it waits, neither opening nor deleting the FIFOs, and takes over when that
// process quits or dies. While serving it makes the pipe again when either FIFO file was
// deleted or replaced (a new FIFO at that name; the other, still in place, is kept, so a
// client that has it open keeps its end), and after the connection was lost. What is unsafe
// at a path is never touched: it is logged once and tried again later.
//
// Its own thread looks every checkInterval (a few lstat calls while all is well) and does
// the file-system work, so none of it falls on REAPER's main thread.
class PipeKeeper
{
public:
    enum class State
    {
        stopped,
        serving,
        waitingForLock, // another process serves, or the lock's path is refused
        pipeRefused,    // the lock is ours, a FIFO path is refused
        lost            // the lock is ours, the pipe is made again after a pause
    };

    PipeKeeper (PipeConnection& connection, std::string pipeName, int pipeTimeoutMs, PipeKeeperTiming timing = {});
    ~PipeKeeper();

    PipeKeeper (const PipeKeeper&) = delete;
    PipeKeeper& operator= (const PipeKeeper&) = delete;

    // Takes the lock and makes the pipe if it can, on the calling thread, logging
    // "pipe created" or why not; then starts watching. [main thread]
    void start();

    // Stops watching; then closes the pipe, deleting its FIFO files if they are still the
    // ones it made, and lets the lock go. [main thread]
    void stop();

    // The connection reported its loss: the pipe is made again after a pause. [any thread]
    void connectionLost();

    // [any thread]
    State state() const
    {
        return currentState;
    }

private:
    void run();
    void check();
    void takeLock();
    void renewLock();
    void makePipe();
    void scheduleRetryAfterLoss();
    void logRefusal (const std::string& refusal);

    using Clock = std::chrono::steady_clock;

    PipeConnection& connection;
    const std::string pipeName;
    const int pipeTimeoutMs;
    const PipeKeeperTiming timing;
    ServingLock lock;

    // The keeper's thread's own, after start().
    bool madeSinceLockTaken = false;
    bool waitingLogged = false;
    std::string lastRefusal, lastRenewRefusal;
    Clock::time_point madeAt;
    Clock::time_point retryAt;
    std::chrono::milliseconds retryPause{0};

    std::atomic<State> currentState{State::stopped};
    std::mutex wakeLock;
    std::condition_variable wake;
    bool stopRequested = false;
    bool lossReported = false;
    std::thread thread;
};
