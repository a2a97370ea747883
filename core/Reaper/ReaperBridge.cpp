#include "ReaperBridge.h"

#include <juce_events/juce_events.h>

#include "logging/KeptOpenFileLogger.h"
#include "requests/RequestDispatcher.h"

namespace
{
constexpr juce::uint32 kMagicMessageHeader = 0xf2b49e2c;
const char* const kPipeName = "bv_reaper";

// Also the deadline of every reply: a send never holds REAPER's main thread longer.
constexpr int kPipeTimeoutMs = 1000;

const char* const kLogFolder = "Belvanta";
const char* const kLogFile = "Reaper.txt";
constexpr juce::int64 kLogSizeKeptAtStart = 131072;
} // namespace

ReaperBridge* ReaperBridge::_singletonInstance = nullptr;
juce::CriticalSection ReaperBridge::_singletonLock;

ReaperBridge* ReaperBridge::getInstance()
{
    if (_singletonInstance != nullptr)
        return _singletonInstance;

    const juce::ScopedLock lock (_singletonLock);

    if (_singletonInstance == nullptr)
    {
        static bool alreadyInside = false;

        if (alreadyInside)
        {
            // The constructor asked for the instance it is building.
            jassertfalse;
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
    : PipeConnection (true, kMagicMessageHeader)
    , keeper (*this, kPipeName, kPipeTimeoutMs)
{
    // Makes REAPER's main thread, which runs the load call, JUCE's message thread.
    juce::initialiseJuce_GUI();

    logger = KeptOpenFileLogger::createDefaultAppLogger (kLogFolder, kLogFile, {}, kLogSizeKeptAtStart);
    juce::Logger::setCurrentLogger (logger.get());

    // Logs "pipe created", or why not: the bridge lives on without a pipe then, and the
    // keeper tries again.
    keeper.start();

    if (keeper.state() == PipeKeeper::State::pipeRefused)
        jassertfalse;
}

ReaperBridge::~ReaperBridge()
{
    keeper.stop();

    juce::Logger::writeToLog ("~ReaperBridge");
    juce::Logger::setCurrentLogger (nullptr);

    if (_singletonInstance == this)
        _singletonInstance = nullptr;

    juce::shutdownJuce_GUI();
    logger.reset();
}

void ReaperBridge::connectionMade()
{
}

void ReaperBridge::connectionLost()
{
    juce::Logger::writeToLog ("Connection Lost");
    keeper.connectionLost();
}

void ReaperBridge::messageReceived (const juce::MemoryBlock& message)
{
    handleRequest (message.getData(), message.getSize(), *this);
}
