#include "ClientProcess.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace client_testing
{
namespace
{
void closeFd (int& fd)
{
    if (fd >= 0)
        ::close (fd);

    fd = -1;
}
} // namespace

ClientProcess::ClientProcess (const std::vector<std::string>& arguments, const std::string& workingDirectory, const std::optional<OtherUser>& runAs)
{
    int out[2], err[2];

    if (arguments.empty() || pipe2 (out, O_CLOEXEC) != 0)
        return;

    if (pipe2 (err, O_CLOEXEC) != 0)
    {
        ::close (out[0]);
        ::close (out[1]);
        return;
    }

    // Prepared before fork: the child may only make async-signal-safe calls.
    std::vector<char*> argv;

    for (const auto& argument : arguments)
        argv.push_back (const_cast<char*> (argument.c_str()));

    argv.push_back (nullptr);
    const char* folder = workingDirectory.empty() ? nullptr : workingDirectory.c_str();

    pid = fork();

    if (pid == 0)
    {
        const int nullInput = ::open ("/dev/null", O_RDONLY);
        dup2 (nullInput, STDIN_FILENO);
        dup2 (out[1], STDOUT_FILENO);
        dup2 (err[1], STDERR_FILENO);

        if (folder != nullptr && chdir (folder) != 0)
            _exit (126);

        if (runAs && (setgroups (0, nullptr) != 0 || setgid (static_cast<gid_t> (runAs->gid)) != 0 || setuid (static_cast<uid_t> (runAs->uid)) != 0))
            _exit (125);

        execv (argv[0], argv.data());
        _exit (127);
    }

    ::close (out[1]);
    ::close (err[1]);
    outFd = out[0];
    errFd = err[0];

    if (pid < 0)
    {
        closeFd (outFd);
        closeFd (errFd);
    }
}

ClientProcess::~ClientProcess()
{
    if (pid > 0 && !exited)
    {
        kill (pid, SIGKILL);
        waitpid (pid, nullptr, 0);
    }

    closeFd (outFd);
    closeFd (errFd);
}

void ClientProcess::readAvailable (int waitMs)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};

    if (poll (fds, 2, waitMs) <= 0)
        return;

    char buffer[4096];

    for (auto& entry : fds)
    {
        if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;

        const auto count = ::read (entry.fd, buffer, sizeof (buffer));
        auto& text = entry.fd == outFd ? result.out : result.err;

        if (count > 0)
            text.append (buffer, static_cast<size_t> (count));
        else
            closeFd (entry.fd == outFd ? outFd : errFd);
    }
}

bool ClientProcess::reap (bool wait)
{
    if (exited || pid <= 0)
        return true;

    if (waitpid (pid, &status, wait ? 0 : WNOHANG) == pid)
        exited = true;

    return exited;
}

ClientRun ClientProcess::runToEnd (const std::function<void()>& betweenPolls, std::chrono::milliseconds deadline)
{
    const auto start = std::chrono::steady_clock::now();

    if (pid <= 0)
        return result;

    while (!(reap (false) && outFd < 0 && errFd < 0))
    {
        if (std::chrono::steady_clock::now() - start > deadline)
        {
            kill (pid, SIGKILL);
            reap (true);
            result.exitCode = -1;
            result.took = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start);
            return result;
        }

        if (betweenPolls)
            betweenPolls();

        readAvailable (1);
    }

    result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
    result.took = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start);
    return result;
}

ClientRun runClient (const std::vector<std::string>& arguments, std::chrono::milliseconds deadline)
{
    ClientProcess process (arguments);
    return process.runToEnd ({}, deadline);
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
} // namespace client_testing
