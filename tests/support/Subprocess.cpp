#include "Subprocess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testing_support
{
namespace
{
void closeFd (int& fd)
{
    if (fd >= 0)
        ::close (fd);

    fd = -1;
}

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

// This process's environment with the given NAME=VALUE entries added or replacing.
std::vector<std::string> environmentWith (const std::vector<std::string>& given)
{
    auto isGiven = [&] (const std::string& entry)
    {
        const auto name = entry.substr (0, entry.find ('=') + 1);
        return std::any_of (given.begin(), given.end(), [&] (const std::string& variable)
                            { return variable.compare (0, name.size(), name) == 0; });
    };

    std::vector<std::string> environment;

    for (char** e = environ; *e != nullptr; ++e)
        if (!isGiven (*e))
            environment.emplace_back (*e);

    environment.insert (environment.end(), given.begin(), given.end());
    return environment;
}

std::vector<char*> pointersTo (std::vector<std::string>& texts)
{
    std::vector<char*> pointers;

    for (auto& text : texts)
        pointers.push_back (text.data());

    pointers.push_back (nullptr);
    return pointers;
}
} // namespace

Subprocess::Subprocess (const std::vector<std::string>& arguments, const ProcessSetup& setup)
    : start (std::chrono::steady_clock::now())
{
    int input[2] = {-1, -1}, output[2] = {-1, -1}, errors[2] = {-1, -1};

    const bool piped = !arguments.empty() && (setup.terminalInput ? openTerminal (input) : pipe2 (input, O_CLOEXEC) == 0)
                       && pipe2 (output, O_CLOEXEC) == 0 && (!setup.errorsApart || pipe2 (errors, O_CLOEXEC) == 0);

    if (!piped)
    {
        for (int* ends : {input, output, errors})
        {
            closeFd (ends[0]);
            closeFd (ends[1]);
        }

        return;
    }

    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    auto argumentCopy = arguments;
    auto environment = environmentWith (setup.environment);
    const auto argv = pointersTo (argumentCopy);
    const auto envp = pointersTo (environment);
    const char* folder = setup.workingDirectory.empty() ? nullptr : setup.workingDirectory.c_str();
    const auto& user = setup.runAs;

    pid = fork();

    if (pid == 0)
    {
        dup2 (input[0], STDIN_FILENO);
        dup2 (output[1], STDOUT_FILENO);
        dup2 (setup.errorsApart ? errors[1] : output[1], STDERR_FILENO);

        if (folder != nullptr && chdir (folder) != 0)
            _exit (126);

        if (user && (setgroups (0, nullptr) != 0 || setgid (static_cast<gid_t> (user->gid)) != 0 || setuid (static_cast<uid_t> (user->uid)) != 0))
            _exit (125);

        execve (argv[0], argv.data(), envp.data());
        _exit (127);
    }

    closeFd (input[0]);
    closeFd (output[1]);
    closeFd (errors[1]);
    inputFd = input[1];
    outFd = output[0];
    errFd = errors[0];

    if (pid < 0)
    {
        closeInput();
        closeFd (outFd);
        closeFd (errFd);
    }
}

Subprocess::~Subprocess()
{
    closeInput();

    if (pid > 0 && !exited)
    {
        kill (pid, SIGKILL);
        waitpid (pid, nullptr, 0);
    }

    closeFd (outFd);
    closeFd (errFd);
}

void Subprocess::writeInput (const std::string& text)
{
    // A child that exits before reading its input must not kill the test with SIGPIPE.
    static std::once_flag ignorePipeSignal;
    std::call_once (ignorePipeSignal, []
                    { signal (SIGPIPE, SIG_IGN); });

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
    closeFd (inputFd);
}

bool Subprocess::collect (std::chrono::milliseconds timeout)
{
    pollfd streams[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};

    if (outFd < 0 && errFd < 0)
        return false;

    if (poll (streams, 2, (int) timeout.count()) <= 0)
        return true;

    char buffer[4096];

    for (auto& stream : streams)
    {
        if (stream.fd < 0 || (stream.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;

        const bool isOut = stream.fd == outFd;
        const auto count = ::read (stream.fd, buffer, sizeof (buffer));

        if (count > 0)
            (isOut ? result.out : result.err).append (buffer, (size_t) count);
        else
            closeFd (isOut ? outFd : errFd);
    }

    return outFd >= 0 || errFd >= 0;
}

void Subprocess::reap (bool wait)
{
    if (!exited && pid > 0 && waitpid (pid, &status, wait ? 0 : WNOHANG) == pid)
        exited = true;
}

bool Subprocess::waitForOutput (const std::string& text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    while (result.out.find (text) == std::string::npos)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now());

        if (left.count() <= 0 || !collect (std::min (left, std::chrono::milliseconds (50))))
            return result.out.find (text) != std::string::npos;
    }

    return true;
}

void Subprocess::sendSignal (int signal)
{
    if (pid > 0 && !exited)
        kill (pid, signal);
}

RunResult Subprocess::finish (std::chrono::milliseconds timeout, const std::function<void()>& betweenPolls)
{
    closeInput();

    if (pid <= 0)
        return result;

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto pollWait = std::chrono::milliseconds (betweenPolls ? 1 : 20);

    while (!exited || outFd >= 0 || errFd >= 0)
    {
        if (std::chrono::steady_clock::now() >= deadline)
        {
            kill (pid, SIGKILL);
            reap (true);
            result.exitCode = -1;
            result.took = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start);
            return result;
        }

        if (betweenPolls)
            betweenPolls();

        const bool streamsOpen = collect (pollWait);
        reap (false);

        // With both streams closed, collect does not wait: the child may still be exiting.
        if (!streamsOpen && !exited)
            std::this_thread::sleep_for (pollWait);
    }

    result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
    result.took = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start);
    return result;
}

RunResult runProgram (const std::vector<std::string>& arguments, const std::string& input, const ProcessSetup& setup,
                      std::chrono::milliseconds timeout)
{
    Subprocess process (arguments, setup);
    process.writeInput (input);
    return process.finish (timeout);
}

std::optional<OtherUser> otherUser()
{
    const auto* entry = geteuid() == 0 ? getpwnam ("nobody") : nullptr;

    if (entry == nullptr)
        return std::nullopt;

    return OtherUser{static_cast<int> (entry->pw_uid), static_cast<int> (entry->pw_gid), entry->pw_name};
}

bool asUser (const OtherUser& user, const std::function<bool()>& work)
{
    const auto child = fork();

    if (child == 0)
    {
        if (setgroups (0, nullptr) != 0 || setgid (static_cast<gid_t> (user.gid)) != 0 || setuid (static_cast<uid_t> (user.uid)) != 0)
            _exit (2);

        _exit (work() ? 0 : 1);
    }

    int status = 0;
    return child > 0 && waitpid (child, &status, 0) == child && WIFEXITED (status) && WEXITSTATUS (status) == 0;
}
} // namespace testing_support
