#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace reaper_host
{
// Reads lines from a file descriptor without ever blocking longer than asked, so the
// caller can keep the host's timers running while it waits for input. Waiting and reading
// are each system's own (LineReaderPosix.cpp: poll; LineReaderWindows.cpp: a thread that
// reads the handle); splitting into lines is shared (LineReader.cpp).
class LineReader
{
public:
    explicit LineReader (int fileDescriptor);
    ~LineReader();

    LineReader (const LineReader&) = delete;
    LineReader& operator= (const LineReader&) = delete;

    // Waits up to `timeout` for input and returns the complete lines that arrived (a
    // last line without a line end is returned at end of input).
    std::vector<std::string> poll (std::chrono::microseconds timeout);

    bool atEnd() const
    {
        return ended;
    }

private:
    struct Input;

    enum class Read
    {
        nothing, // the time passed, or a signal came
        data,
        end
    };

    // Waits up to `timeout` for input and appends what came to `into`.
    Read readSome (std::chrono::microseconds timeout, std::string& into);

    std::unique_ptr<Input> input;
    std::string pending;
    bool ended = false;
};
} // namespace reaper_host
