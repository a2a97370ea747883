#include "pipe/PipeKeeper.h"

#include <algorithm>
#include <utility>

#include "LogTexts.h"
#include "PipeContract.h"
#include "Platform.h"
#include "logging/Log.h"

PipeKeeper::PipeKeeper (PipeConnection& connectionToKeep, std::string name, int timeoutMs, PipeKeeperTiming timingToUse)
    : connection (connectionToKeep)
    , pipeName (std::move (name))
    , pipeTimeoutMs (timeoutMs)
    , timing (timingToUse)
    , lock (pipe_contract::servingLockPath (pipeName))
{
}

PipeKeeper::~PipeKeeper()
{
    stop();
}

void PipeKeeper::start()
{
    if (thread.joinable())
        return;

    currentState = State::waitingForLock;
    takeLock();

    {
        const std::lock_guard<std::mutex> guard (wakeLock);
        stopRequested = false;
        lossReported = false;
    }

    thread = std::thread ([this]
                          { run(); });
}

void PipeKeeper::stop()
{
    {
        const std::lock_guard<std::mutex> guard (wakeLock);
        stopRequested = true;
    }

    wake.notify_all();

    if (thread.joinable())
        thread.join();

    if (lock.isOwned())
        connection.disconnect();
    else
        connection.disconnectLeavingFiles();

    lock.release();
    currentState = State::stopped;
}

void PipeKeeper::connectionLost()
{
    {
        const std::lock_guard<std::mutex> guard (wakeLock);
        lossReported = true;
    }

    wake.notify_all();
}

void PipeKeeper::run()
{
    platform::setCurrentThreadName ("Pipe keeper");
    std::unique_lock<std::mutex> guard (wakeLock);

    while (!stopRequested)
    {
        auto wakeAt = Clock::now() + timing.checkInterval;

        if (currentState == State::lost)
            wakeAt = std::min (wakeAt, retryAt);

        wake.wait_until (guard, wakeAt, [this]
                         { return stopRequested || lossReported; });

        if (stopRequested)
            break;

        const bool lostNow = std::exchange (lossReported, false);
        guard.unlock();

        if (lostNow && (currentState == State::serving || currentState == State::lost))
            scheduleRetryAfterLoss();
        else
            check();

        guard.lock();
    }
}

void PipeKeeper::check()
{
    if (currentState == State::waitingForLock)
    {
        takeLock();
        return;
    }

    renewLock();

    switch (currentState.load())
    {
        case State::serving:
            if (!connection.filesUnchanged())
                makePipe();
            break;

        case State::pipeRefused:
            makePipe();
            break;

        case State::lost:
            if (Clock::now() >= retryAt)
                makePipe();
            break;

        case State::waitingForLock:
        case State::stopped:
            break;
    }
}

void PipeKeeper::takeLock()
{
    const auto attempt = lock.tryAcquire();

    switch (attempt.outcome)
    {
        case ServingLock::Outcome::owned:
            waitingLogged = false;
            madeSinceLockTaken = false;
            retryPause = std::chrono::milliseconds (0);
            makePipe();
            return;

        case ServingLock::Outcome::heldByOther:
            lastRefusal = {};

            if (!waitingLogged)
                logging::writeToLog (log_texts::kServedByAnother
                                     + (attempt.ownerProcessId > 0 ? " (process " + std::to_string (attempt.ownerProcessId) + ")" : std::string()));

            waitingLogged = true;
            return;

        case ServingLock::Outcome::refused:
            waitingLogged = false;
            logRefusal (attempt.refusal);
            return;
    }
}

void PipeKeeper::renewLock()
{
    const auto attempt = lock.tryAcquire();

    switch (attempt.outcome)
    {
        case ServingLock::Outcome::owned:
            lastRenewRefusal = {};
            return;

        case ServingLock::Outcome::refused:
            // Still the owner of the old lock, which no one else can take either.
            if (attempt.refusal != lastRenewRefusal)
                logging::writeToLog ("Pipe lock not renewed: " + attempt.refusal);

            lastRenewRefusal = attempt.refusal;
            return;

        case ServingLock::Outcome::heldByOther:
            // Another process locked the file made again at the lock's path first: it serves
            // now, with the FIFOs as they are.
            connection.disconnectLeavingFiles();
            currentState = State::waitingForLock;
            lastRenewRefusal = {};
            waitingLogged = false;
            takeLock();
            return;
    }
}

void PipeKeeper::makePipe()
{
    // A FIFO file still in place is used again as it is: a client that has it open keeps
    // its end (a reply FIFO it waits on, say).
    connection.disconnectLeavingFiles();
    const auto made = connection.makePipe (pipeName, pipeTimeoutMs);

    if (made.failed())
    {
        logRefusal (made.errorMessage());

        if (currentState == State::lost)
            scheduleRetryAfterLoss();
        else
            currentState = State::pipeRefused;

        return;
    }

    logging::writeToLog (madeSinceLockTaken ? log_texts::kPipeRecreated : log_texts::kPipeCreated);
    madeSinceLockTaken = true;
    lastRefusal = {};
    madeAt = Clock::now();
    currentState = State::serving;
}

void PipeKeeper::scheduleRetryAfterLoss()
{
    const auto now = Clock::now();

    if (currentState == State::serving && now - madeAt >= timing.stableAfter)
        retryPause = timing.firstRetryPause;
    else
        retryPause = std::clamp (retryPause * 2, timing.firstRetryPause, timing.longestRetryPause);

    retryAt = now + retryPause;
    currentState = State::lost;
}

void PipeKeeper::logRefusal (const std::string& refusal)
{
    if (refusal != lastRefusal)
        logging::writeToLog (log_texts::kPipeNotCreated + refusal);

    lastRefusal = refusal;
}
