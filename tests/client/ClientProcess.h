#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace client_testing
{
// A user other than the one running the tests.
struct OtherUser
{
    int uid = -1;
    int gid = -1;
    std::string name;
};

// What a finished bv-client run left behind.
struct ClientRun
{
    int exitCode = -1; // -1: it had to be killed at the deadline
    std::string out;   // standard output
    std::string err;   // standard error
    std::chrono::milliseconds took{0};
};

// bv-client as a child process with its own standard output and error, run to its end
// while the caller keeps its main loop going in between (the extension under test lives
// on the calling thread). The child never outlives the object.
class ClientProcess
{
public:
    // With runAs set (the caller being root), the child runs as that user.
    ClientProcess (const std::vector<std::string>& arguments, const std::string& workingDirectory = {}, const std::optional<OtherUser>& runAs = {});
    ~ClientProcess();

    ClientProcess (const ClientProcess&) = delete;
    ClientProcess& operator= (const ClientProcess&) = delete;

    // Calls betweenPolls (e.g. one round of the host's timers) until the child has
    // exited and both its streams are closed; kills it at the deadline.
    ClientRun runToEnd (const std::function<void()>& betweenPolls, std::chrono::milliseconds deadline);

private:
    void readAvailable (int waitMs);
    bool reap (bool wait);

    int pid = -1;
    int outFd = -1;
    int errFd = -1;
    int status = 0;
    bool exited = false;
    ClientRun result;
};

// Runs bv-client with no main loop to keep going (nothing in this process answers).
ClientRun runClient (const std::vector<std::string>& arguments, std::chrono::milliseconds deadline = std::chrono::seconds (10));

// "nobody" when this process runs as root and so can act as another user; else nothing
// (tests of other users' files then skip).
std::optional<OtherUser> otherUser();

// Runs work in a child process running as the user; true when it returned true.
bool asUser (const OtherUser& user, const std::function<bool()>& work);

// An environment variable set (or unset, given nothing) for as long as this lives; the
// bv-client processes started meanwhile inherit it.
class ScopedVariable
{
public:
    ScopedVariable (const char* name, const std::optional<std::string>& value);
    ~ScopedVariable();

    ScopedVariable (const ScopedVariable&) = delete;
    ScopedVariable& operator= (const ScopedVariable&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
};

// A new folder in the system's temporary folder, mode 0700, removed with what it holds.
class TemporaryFolder
{
public:
    TemporaryFolder();
    ~TemporaryFolder();

    TemporaryFolder (const TemporaryFolder&) = delete;
    TemporaryFolder& operator= (const TemporaryFolder&) = delete;

    const std::string& path() const
    {
        return folder;
    }

private:
    std::string folder;
};

// "0755 (a directory)": a file's mode in octal and its kind, for failure messages; "(none)"
// when nothing is at the path.
std::string describeMode (const std::string& path);
} // namespace client_testing
