#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testing_support
{
// Runs a program as a child process with pipes on its standard streams, for tests of
// command-line programs. The child is killed and reaped if it outlives the object.
class Subprocess
{
public:
    // Each NAME=VALUE of environment is added to (or replaces) the inherited variables.
    // With `terminalInput` the child's standard input is a terminal (a pseudo-terminal
    // without echo), as when a person types the commands; otherwise a pipe.
    explicit Subprocess (const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                         bool terminalInput = false);
    ~Subprocess();

    Subprocess (const Subprocess&) = delete;
    Subprocess& operator= (const Subprocess&) = delete;

    bool started() const
    {
        return pid > 0;
    }

    int processId() const
    {
        return pid;
    }

    void writeInput (const std::string& text);
    void closeInput();

    // Collects output until it contains `text` or the timeout passes.
    bool waitForOutput (const std::string& text, std::chrono::milliseconds timeout);

    void sendSignal (int signal);

    // Closes the input, collects all output and the exit code; -1 on timeout (the
    // child is then killed), 128 + signal when a signal ended it.
    int finish (std::chrono::milliseconds timeout);

    // Standard output and standard error, interleaved as they arrived.
    const std::string& output() const
    {
        return collected;
    }

private:
    bool collect (std::chrono::milliseconds timeout);

    int pid = -1;
    int inputFd = -1;
    int outputFd = -1;
    std::string collected;
};

// Runs the program to its end with the given input; the exit code and the output.
struct RunResult
{
    int exitCode = -1;
    std::string output;
};

RunResult runProgram (const std::vector<std::string>& arguments, const std::string& input = {},
                      const std::vector<std::string>& environment = {},
                      std::chrono::milliseconds timeout = std::chrono::milliseconds (20000));
} // namespace testing_support
