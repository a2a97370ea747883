#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace reaper_host
{
// Reads lines from a file descriptor without ever blocking longer than asked, so the
// caller can keep the host's timers running while it waits for input.
class LineReader
{
public:
    explicit LineReader (int fileDescriptor);

    // Waits up to `timeout` for input and returns the complete lines that arrived (a
    // last line without a line end is returned at end of input).
    std::vector<std::string> poll (std::chrono::microseconds timeout);

    bool atEnd() const
    {
        return ended;
    }

private:
    int fd;
    std::string pending;
    bool ended = false;
};
} // namespace reaper_host
