#include "logging/Log.h"

#include <atomic>

#include "logging/StandardError.h"

namespace logging
{
namespace
{
std::atomic<LogDestination*> currentDestination{nullptr};
} // namespace

void writeToLog (const std::string& line)
{
    if (auto* destination = currentDestination.load())
    {
        destination->logMessage (line);
        return;
    }

    standard_error::write (line + "\n");
}

void setDestination (LogDestination* destination)
{
    currentDestination = destination;
}

void logAssertionFailure (const char* sourceFile, int line)
{
    std::string file (sourceFile != nullptr ? sourceFile : "");
    const auto lastSlash = file.rfind ('/');

    if (lastSlash != std::string::npos)
        file.erase (0, lastSlash + 1);

    writeToLog ("JUCE Assertion failure in " + file + ":" + std::to_string (line));
}
} // namespace logging
