#include "ReaperBridge.h"

#include "PipeContract.h"
#include "logging/Log.h"
#include "requests/RequestDispatcher.h"

namespace
{
// Also the deadline of every reply: a send never holds REAPER's main thread longer.
constexpr int kPipeTimeoutMs = 1000;

const char* const kLogFolder = "Belvanta";
const char* const kLogFile = "Reaper.txt";
constexpr std::int64_t kLogSizeKeptAtStart = 131072;
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

ReaperBridge::ReaperBridge()
    : keeper (*this, pipe_contract::kPipeName, kPipeTimeoutMs)
{
    logger = std::make_unique<ExtensionLog> (ExtensionLog::defaultPath (kLogFolder, kLogFile), "", kLogSizeKeptAtStart);
    logging::setDestination (logger.get());

    // Logs "pipe created", or why not: the bridge lives on without a pipe then, and the
    // keeper tries again.
    keeper.start();

    if (keeper.state() == PipeKeeper::State::pipeRefused)
        BV_ASSERT_FALSE();
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
    handleRequest (message.data(), message.size(), *this);
}
