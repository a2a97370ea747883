#pragma once

#include <string>

#include "UniqueFd.h"

// One client at a time on a pipe: replies carry no request identifiers, so two clients
// talking at once would take each other's answers. The lock is an advisory flock on a file
// of this user, <pipe name>_client.lock, in a folder only this user can write to (see
// folder()), so that no other user can create it first and lock this user out. A lock
// file that is a symbolic link, not a regular file, or another user's is refused, and so is
// a folder that others can write to. The holder deletes the file when it lets go.
class ClientLock
{
public:
    struct Result
    {
        enum class Status
        {
            held,
            busy,      // another client held it until the deadline
            untrusted, // reason says what is wrong with the file or its folder
            failed     // reason says which error
        };

        Status status = Status::failed;
        std::string reason;

        bool held() const
        {
            return status == Status::held;
        }
    };

    // Where this user's lock files go: $XDG_RUNTIME_DIR when it names a folder of this user
    // that no one else can write to (the system makes it 0700 at login), else
    // <home>/.cache/bv-client ($HOME, else the user database's home), made 0700 on first use.
    static std::string folder();

    // folder()/<pipe name>_client.lock; a '/' in the name becomes '_'.
    static std::string pathFor (const std::string& pipeName);

    // Empty when nothing is at the path or what is there may be locked; else why it is
    // refused ("is a directory, not a regular file", ...). Nothing is opened or changed.
    static std::string whyRefused (const std::string& path);

    ClientLock() = default;
    ~ClientLock();

    ClientLock (const ClientLock&) = delete;
    ClientLock& operator= (const ClientLock&) = delete;

    // Takes the lock, waiting at most timeoutMs for another holder to let go. Makes the
    // path's folder (0700) when it is missing, unless inside another user's folder.
    Result acquire (const std::string& path, int timeoutMs);

    void release();

private:
    UniqueFd fd;
    std::string heldPath;
};
