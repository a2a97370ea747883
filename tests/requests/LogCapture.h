#pragma once

#include <string>
#include <vector>

#include "logging/Log.h"

namespace handler_testing
{
// Collects every log line written while it is alive, in order; sends the lines to standard
// error again when it goes.
class LogCapture : public LogDestination
{
public:
    LogCapture()
    {
        logging::setDestination (this);
    }

    ~LogCapture() override
    {
        logging::setDestination (nullptr);
    }

    LogCapture (const LogCapture&) = delete;
    LogCapture& operator= (const LogCapture&) = delete;

    std::vector<std::string> lines;

    // Each assertion line reduced to "ASSERT", so expectations do not depend on line numbers.
    std::vector<std::string> linesWithAssertionsMarked() const
    {
        std::vector<std::string> out;
        for (const auto& line : lines)
            out.push_back (isAssertion (line) ? "ASSERT" : line);
        return out;
    }

    int assertionCount() const
    {
        int n = 0;
        for (const auto& line : lines)
            n += isAssertion (line) ? 1 : 0;
        return n;
    }

    static bool isAssertion (const std::string& line)
    {
        return line.rfind ("JUCE Assertion failure in ", 0) == 0;
    }

    void logMessage (const std::string& message) override
    {
        lines.push_back (message);
        events.push_back ("log:" + message);
    }

public:
    // Log lines and sends interleaved, for checks of their relative order (filled by
    // RecordingSender too).
    std::vector<std::string> events;
};

} // namespace handler_testing
