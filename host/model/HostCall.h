#pragma once

#include <string>

#include "HostModel.h"
#include "JournalFormat.h"

namespace reaper_host
{
// One host function call in progress: holds the model's lock for the call, collects its
// arguments and result, and writes the journal entry when the call ends.
class HostCall
{
public:
    explicit HostCall (const char* function);
    ~HostCall();

    HostCall (const HostCall&) = delete;
    HostCall& operator= (const HostCall&) = delete;

    HostCall& arg (std::string text);
    HostCall& arg (const char* text);
    HostCall& arg (double value);
    HostCall& arg (int value);
    HostCall& arg (bool value);

    // True when fault injection makes this call fail; marks the journal entry.
    bool injectedFailure();

    // Counts a handle the model does not know.
    void invalidHandle();

    // Records the result text and returns the value, for `return call.returns (...)`.
    template <typename T>
    T returns (T value, std::string text)
    {
        entry.result = std::move (text);
        return value;
    }

    HostModel& model;

private:
    std::lock_guard<std::recursive_mutex> guard;
    JournalEntry entry;
};
} // namespace reaper_host
