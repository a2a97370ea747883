#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support
{
// A user other than the one running the tests.
struct OtherUser
{
    int uid = -1;
    int gid = -1;
    std::string name;
};

// How a child process is started; the defaults start it as this process is, with pipes on
// its standard streams and its standard error mixed into its standard output.
struct ProcessSetup
{
    // Each NAME=VALUE is added to (or replaces) the inherited variables.
    std::vector<std::string> environment;

    // Where the child starts; empty: this process's current folder.
    std::string workingDirectory;

    // The user the child runs as (this process being root).
    std::optional<OtherUser> runAs;

    // Standard input a terminal (a pseudo-terminal without echo), as when a person types
    // the commands, rather than a pipe.
    bool terminalInput = false;

    // Standard error collected apart from standard output rather than mixed into it.
    bool errorsApart = false;
};

// The defaults with these NAME=VALUE variables added to the child's environment.
inline ProcessSetup withEnvironment (std::vector<std::string> variables)
{
    ProcessSetup setup;
    setup.environment = std::move (variables);
    return setup;
}

// What a finished child left behind.
struct RunResult
{
    int exitCode = -1; // -1: it had to be killed at the deadline; 128 + N: signal N ended it
    std::string out;   // standard output (with standard error mixed in, unless kept apart)
    std::string err;   // standard error, when kept apart
    std::chrono::milliseconds took{0};
};

// A program run as a child process with pipes on its standard streams, for tests of
// command-line programs and for benchmarks that start themselves again. The child is
// killed and reaped if it outlives the object.
class Subprocess
{
public:
    explicit Subprocess (const std::vector<std::string>& arguments, const ProcessSetup& setup = {});
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

    // Closes the input, collects all output and waits for the child to exit; at the timeout
    // it is killed. betweenPolls, when given, is called about every millisecond meanwhile
    // (e.g. a round of the host's timers, when the child talks to an extension loaded here).
    RunResult finish (std::chrono::milliseconds timeout, const std::function<void()>& betweenPolls = {});

    // What the child has written so far.
    const std::string& out() const
    {
        return result.out;
    }

    const std::string& err() const
    {
        return result.err;
    }

private:
    // Reads what has arrived within the timeout; false once every output stream has closed.
    bool collect (std::chrono::milliseconds timeout);
    void reap (bool wait);

    int pid = -1;
    int inputFd = -1;
    int outFd = -1;
    int errFd = -1;
    bool exited = false;
    int status = 0;
    std::chrono::steady_clock::time_point start;
    RunResult result;
};

// Runs the program to its end with the given input.
RunResult runProgram (const std::vector<std::string>& arguments, const std::string& input = {}, const ProcessSetup& setup = {},
                      std::chrono::milliseconds timeout = std::chrono::milliseconds (20000));

// "nobody" when this process runs as root and so can act as another user; else nothing
// (tests of other users' files then skip).
std::optional<OtherUser> otherUser();

// Runs work in a child process running as the user; true when it returned true.
bool asUser (const OtherUser& user, const std::function<bool()>& work);
} // namespace testing_support
