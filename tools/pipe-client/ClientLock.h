#pragma once

#include <string>

#include "pipe/UniqueFd.h"

// One client at a time on a pipe: replies carry no request identifiers, so two clients
// talking at once would take each other's answers. The lock is an advisory flock on a file
// next to the FIFOs, /tmp/<pipe name>_client.lock, this user's own with mode 0600; a lock
// file that is a symbolic link, not a regular file, or another user's is refused. The
// holder deletes the file when it lets go, so none is left in /tmp.
class ClientLock
{
public:
    struct Result
    {
        enum class Status
        {
            held,
            busy,      // another client held it until the deadline
            untrusted, // reason says what is wrong with the file
            failed     // reason says which error
        };

        Status status = Status::failed;
        std::string reason;

        bool held() const
        {
            return status == Status::held;
        }
    };

    static std::string pathFor (const std::string& pipeName);

    ClientLock() = default;
    ~ClientLock();

    ClientLock (const ClientLock&) = delete;
    ClientLock& operator= (const ClientLock&) = delete;

    // Takes the lock, waiting at most timeoutMs for another holder to let go.
    Result acquire (const std::string& path, int timeoutMs);

    void release();

private:
    UniqueFd fd;
    std::string heldPath;
};
