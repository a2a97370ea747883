#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace client_testing
{
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
    ClientProcess (const std::vector<std::string>& arguments, const std::string& workingDirectory = {});
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
} // namespace client_testing
