#pragma once

#include <string>
#include <vector>

#include <juce_core/juce_core.h>

namespace handler_testing
{
// Collects every log line written while it is alive, in order; restores the previous
// logger when it goes.
class LogCapture : public juce::Logger
{
public:
    LogCapture()
        : previous (juce::Logger::getCurrentLogger())
    {
        juce::Logger::setCurrentLogger (this);
    }

    ~LogCapture() override
    {
        juce::Logger::setCurrentLogger (previous);
    }

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

protected:
    void logMessage (const juce::String& message) override
    {
        lines.push_back (message.toStdString());
        events.push_back ("log:" + message.toStdString());
    }

public:
    // Log lines and sends interleaved, for checks of their relative order (filled by
    // RecordingSender too).
    std::vector<std::string> events;

private:
    juce::Logger* previous;
};

} // namespace handler_testing
