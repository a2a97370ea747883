#include "ClientProcess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

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

// bv-client keeps its lock in XDG_RUNTIME_DIR, else below HOME: every bv-client these tests
// start gets a folder of its own there, not the real user's.
class ClientLockFolder : public testing::Environment
{
public:
    void SetUp() override
    {
        folder = std::make_unique<TemporaryFolder>();
        variable = std::make_unique<ScopedVariable> ("XDG_RUNTIME_DIR", folder->path());
    }

    void TearDown() override
    {
        variable.reset();
        folder.reset();
    }

private:
    std::unique_ptr<TemporaryFolder> folder;
    std::unique_ptr<ScopedVariable> variable;
};

[[maybe_unused]] testing::Environment* const clientLockFolder = testing::AddGlobalTestEnvironment (new ClientLockFolder);
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

ScopedVariable::ScopedVariable (const char* variableName, const std::optional<std::string>& value)
    : name (variableName)
{
    if (const char* old = std::getenv (name))
        previous = old;

    if (value)
        setenv (name, value->c_str(), 1);
    else
        unsetenv (name);
}

ScopedVariable::~ScopedVariable()
{
    if (previous)
        setenv (name, previous->c_str(), 1);
    else
        unsetenv (name);
}

TemporaryFolder::TemporaryFolder()
{
    auto pattern = (std::filesystem::temp_directory_path() / "bv-client-folder-XXXXXX").string();

    if (mkdtemp (pattern.data()) != nullptr)
        folder = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;

    if (!folder.empty())
        std::filesystem::remove_all (folder, ignored);
}

std::string describeMode (const std::string& path)
{
    struct stat info;

    if (lstat (path.c_str(), &info) != 0)
        return "(none)";

    const char* kind = S_ISLNK (info.st_mode) ? "a symbolic link" : S_ISDIR (info.st_mode) ? "a directory"
                                                                : S_ISFIFO (info.st_mode)  ? "a FIFO"
                                                                : S_ISREG (info.st_mode)   ? "a regular file"
                                                                                           : "another kind";
    char text[96];
    std::snprintf (text, sizeof (text), "%04o (%s of uid %u)", static_cast<unsigned> (info.st_mode & 07777), kind, static_cast<unsigned> (info.st_uid));
    return text;
}
} // namespace client_testing
