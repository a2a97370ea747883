#pragma once

#include <string>

// Reads the extension's log for what its last start did. Each start begins with a banner
// whose last line is "Log started: <date>"; the extension then logs "pipe created", or
// "Pipe not created: <why>", and "Deleting Instance" when REAPER unloads it.
namespace log_check
{
struct Verdict
{
    enum class State
    {
        serving, // the last start made the pipe and is not over
        quit,    // the last start made the pipe, then REAPER unloaded the extension
        noPipe,  // the last start could not make the pipe
        noStart, // the log holds no start
        unknown  // the last start says neither: detail quotes its last line
    };

    State state = State::noStart;
    std::string started; // the start's "Log started: ..." line
    std::string detail;  // the line that decided it
};

Verdict readLog (const std::string& text);
} // namespace log_check
