#include "Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace testing_support
{
namespace
{
// A pseudo-terminal: [0] the child's end, [1] the end the test writes to.
bool openTerminal (int ends[2])
{
    const int writer = posix_openpt (O_RDWR | O_NOCTTY | O_CLOEXEC);

    if (writer < 0)
        return false;

    const char* name = grantpt (writer) == 0 && unlockpt (writer) == 0 ? ptsname (writer) : nullptr;
    const int reader = name != nullptr ? open (name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    termios settings{};

    if (reader < 0 || tcgetattr (reader, &settings) != 0)
    {
        ::close (writer);

        if (reader >= 0)
            ::close (reader);

        return false;
    }

    settings.c_lflag &= ~(tcflag_t) (ECHO | ECHONL);
    tcsetattr (reader, TCSANOW, &settings);
    ends[0] = reader;
    ends[1] = writer;
    return true;
}
} // namespace

Subprocess::Subprocess (const std::vector<std::string>& arguments, const std::vector<std::string>& environment, bool terminalInput)
{
    // A child that exits before reading its input must not kill the test with SIGPIPE.
    static std::once_flag ignorePipeSignal;
    std::call_once (ignorePipeSignal, []
                    { signal (SIGPIPE, SIG_IGN); });

    int input[2], output[2];

    if (arguments.empty() || !(terminalInput ? openTerminal (input) : pipe2 (input, O_CLOEXEC) == 0))
        return;

    if (pipe2 (output, O_CLOEXEC) != 0)
    {
        ::close (input[0]);
        ::close (input[1]);
        return;
    }

    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    std::vector<char*> argv;

    for (const auto& argument : arguments)
        argv.push_back (const_cast<char*> (argument.c_str()));

    argv.push_back (nullptr);

    std::vector<std::string> environmentCopy;

    // A variable given replaces the inherited one of the same name.
    auto isGiven = [&] (const std::string& entry)
    {
        const auto name = entry.substr (0, entry.find ('=') + 1);
        return std::any_of (environment.begin(), environment.end(), [&] (const std::string& given)
                            { return given.compare (0, name.size(), name) == 0; });
    };

    for (char** e = environ; *e != nullptr; ++e)
        if (!isGiven (*e))
            environmentCopy.emplace_back (*e);

    environmentCopy.insert (environmentCopy.end(), environment.begin(), environment.end());
    std::vector<char*> envp;

    for (auto& entry : environmentCopy)
        envp.push_back (entry.data());

    envp.push_back (nullptr);

    pid = fork();

    if (pid == 0)
    {
        dup2 (input[0], STDIN_FILENO);
        dup2 (output[1], STDOUT_FILENO);
        dup2 (output[1], STDERR_FILENO);
        execve (argv[0], argv.data(), envp.data());
        _exit (127);
    }

    ::close (input[0]);
    ::close (output[1]);
    inputFd = input[1];
    outputFd = output[0];

    if (pid < 0)
    {
        closeInput();
        ::close (outputFd);
        outputFd = -1;
    }
}

Subprocess::~Subprocess()
{
    closeInput();

    if (pid > 0)
    {
        kill (pid, SIGKILL);
        waitpid (pid, nullptr, 0);
    }

    if (outputFd >= 0)
        ::close (outputFd);
}

void Subprocess::writeInput (const std::string& text)
{
    size_t done = 0;

    while (inputFd >= 0 && done < text.size())
    {
        const auto written = ::write (inputFd, text.data() + done, text.size() - done);

        if (written <= 0 && errno != EINTR)
            break;

        if (written > 0)
            done += (size_t) written;
    }
}

void Subprocess::closeInput()
{
    if (inputFd >= 0)
        ::close (inputFd);

    inputFd = -1;
}

bool Subprocess::collect (std::chrono::milliseconds timeout)
{
    if (outputFd < 0)
        return false;

    pollfd waitFor{outputFd, POLLIN, 0};

    if (poll (&waitFor, 1, (int) timeout.count()) <= 0)
        return true;

    char buffer[4096];
    const auto count = ::read (outputFd, buffer, sizeof (buffer));

    if (count <= 0)
    {
        ::close (outputFd);
        outputFd = -1;
        return false;
    }

    collected.append (buffer, (size_t) count);
    return true;
}

bool Subprocess::waitForOutput (const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    while (collected.find (text) == std::string::npos)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now());

        if (left.count() <= 0 || !collect (std::min (left, std::chrono::milliseconds (50))))
            return collected.find (text) != std::string::npos;
    }

    return true;
}

void Subprocess::sendSignal (int signal)
{
    if (pid > 0)
        kill (pid, signal);
}

int Subprocess::finish (std::chrono::milliseconds timeout)
{
    closeInput();
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    while (outputFd >= 0 && std::chrono::steady_clock::now() < deadline)
        collect (std::chrono::milliseconds (50));

    if (pid <= 0)
        return -1;

    int status = 0;

    for (;;)
    {
        const auto reaped = waitpid (pid, &status, WNOHANG);

        if (reaped == pid)
            break;

        if (std::chrono::steady_clock::now() >= deadline)
        {
            kill (pid, SIGKILL);
            waitpid (pid, nullptr, 0);
            pid = -1;
            return -1;
        }

        usleep (10000);
    }

    pid = -1;
    return WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
}

RunResult runProgram (const std::vector<std::string>& arguments, const std::string& input,
                      const std::vector<std::string>& environment, std::chrono::milliseconds timeout)
{
    Subprocess process (arguments, environment);
    process.writeInput (input);
    RunResult result;
    result.exitCode = process.finish (timeout);
    result.output = process.output();
    return result;
}
} // namespace testing_support
