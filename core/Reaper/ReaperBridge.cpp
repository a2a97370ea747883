#include "ReaperBridge.h"

#include <string>

#include "LogLocation.h"
#include "LogTexts.h"
#include "PipeContract.h"
#include "logging/Log.h"
#include "requests/RequestDispatcher.h"

namespace
{
// Also the deadline of every reply: a send never holds REAPER's main thread longer.
constexpr int kPipeTimeoutMs = 1000;

constexpr std::int64_t kLogSizeKeptAtStart = 131072;

// How the pipe is, for the line a log cut in session begins with.
std::string describe (PipeKeeper::State state)
{
    switch (state)
    {
        case PipeKeeper::State::serving:
            return log_texts::kStateServed;
        case PipeKeeper::State::waitingForLock:
            return log_texts::kStateWaitingForLock;
        case PipeKeeper::State::pipeRefused:
            return log_texts::kStateFifosRefused;
        case PipeKeeper::State::lost:
            return log_texts::kStateLost;
        case PipeKeeper::State::stopped:
            break;
    }

    return log_texts::kStateStopped;
}
} // namespace

ReaperBridge* ReaperBridge::_singletonInstance = nullptr;
std::mutex ReaperBridge::_singletonLock;

ReaperBridge* ReaperBridge::getInstance()
{
    if (_singletonInstance != nullptr)
        return _singletonInstance;

    const std::lock_guard<std::mutex> lock (_singletonLock);

    if (_singletonInstance == nullptr)
    {
        static bool alreadyInside = false;

        if (alreadyInside)
        {
            // The constructor asked for the instance it is building.
            BV_ASSERT_FALSE();
        }
        else
        {
            alreadyInside = true;
            auto* bridge = new ReaperBridge();
            alreadyInside = false;

            // Published only once fully constructed: the first test above reads it unlocked.
            _singletonInstance = bridge;
        }
    }

    return _singletonInstance;
}

void ReaperBridge::deleteInstance()
{
    const std::lock_guard<std::mutex> lock (_singletonLock);

    if (auto* bridge = _singletonInstance)
    {
        _singletonInstance = nullptr;
        delete bridge;
    }
}

ReaperBridge::ReaperBridge()
    : connection (*this)
    , keeper (connection, pipe_contract::kPipeName, kPipeTimeoutMs)
{
    logger = std::make_unique<ExtensionLog> (log_location::path(), "", kLogSizeKeptAtStart);
    logging::setDestination (logger.get());

    // Read from whichever thread writes the line that makes the log too large: the keeper's
    // state is an atomic, so nothing waits and no file is touched on REAPER's main thread.
    logger->setPipeStatus ([this]
                           { return describe (keeper.state()); });

    // Logs "pipe created", or why not: the bridge lives on without a pipe then, and the
    // keeper tries again. A refusal now is logged as a failed check.
    duringLoad.log = logger.get();
    logging::setDestination (&duringLoad);
    keeper.start();
    logging::setDestination (logger.get());
}

ReaperBridge::~ReaperBridge()
{
    keeper.stop();

    logging::writeToLog ("~ReaperBridge");
    logging::setDestination (nullptr);

    if (_singletonInstance == this)
        _singletonInstance = nullptr;

    logger.reset();
}

void ReaperBridge::LoadRefusalsAsserted::logMessage (const std::string& line)
{
    if (line.rfind (log_texts::kPipeNotCreated, 0) == 0)
        BV_ASSERT_FALSE();

    log->logMessage (line);
}

void ReaperBridge::connectionMade()
{
}

void ReaperBridge::connectionLost()
{
    logging::writeToLog ("Connection Lost");
    keeper.connectionLost();
}

void ReaperBridge::messageReceived (const std::vector<std::uint8_t>& message)
{
    handleRequest (message.data(), message.size(), connection);
}
