#pragma once

#include <string>

// Where every log line of the extension goes: to the destination installed (the bridge's
// log file, from load to unload), else to standard error, as one line each.
class LogDestination
{
public:
    virtual ~LogDestination() = default;

    // One line of text, UTF-8, without its line end. [any thread]
    virtual void logMessage (const std::string& line) = 0;
};

namespace logging
{
// [any thread]
void writeToLog (const std::string& line);

// The line the log shows for prefix (printable ASCII) followed by text, read up to its first
// NUL as UTF-8 with each byte that is not UTF-8 shown as U+FFFD (utf8::sanitized): escaped
// and, past the longest line, cut with a note of how many bytes were left out. Only what the
// line shows is made, so a text of any length (a request's path, a failure text naming it)
// costs one count of the rest, and what is kept for a later writeToLog stays small.
// [any thread]
std::string lineOf (const std::string& prefix, const char* text);

// Null sends the lines to standard error again. The caller keeps the destination alive
// until it has been replaced. [any thread]
void setDestination (LogDestination* destination);

// Writes "JUCE Assertion failure in <file name>:<line>", the line the log has always shown
// for a failed internal check (log readers search for it), and carries on. [any thread]
void logAssertionFailure (const char* sourceFile, int line);
} // namespace logging

// A failed internal check writes the log's documented assertion line (logAssertionFailure)
// and execution continues; no check ever stops REAPER. Every BV_ASSERT and BV_ASSERT_FALSE
// in the extension writes that line. [any thread]
#define BV_ASSERT(condition)                                     \
    do                                                           \
    {                                                            \
        if (!(condition))                                        \
            ::logging::logAssertionFailure (__FILE__, __LINE__); \
    } while (false)

#define BV_ASSERT_FALSE() ::logging::logAssertionFailure (__FILE__, __LINE__)
