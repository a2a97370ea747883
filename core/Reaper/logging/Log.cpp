#include "logging/Log.h"

#include <algorithm>
#include <atomic>

#include "logging/ExtensionLog.h"
#include "logging/LogLineEscaping.h"
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

std::string lineOf (const std::string& prefix, const char* text)
{
    // The log escapes it again when written, which changes nothing: escaped text is printable,
    // and it is no longer than ExtensionLog cuts to.
    std::string shown;
    log_line::escape (text, shown, ExtensionLog::kLongestMessage - std::min (prefix.size(), ExtensionLog::kLongestMessage),
                      log_line::Malformed::replaced);
    return prefix + shown;
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
