#pragma once

#include <string>

#include "UniqueFd.h"
#include "pipe/FifoFile.h"

// The advisory lock that lets one process of this user at a time serve a pipe: a regular
// file next to the FIFOs, locked with flock. The kernel drops the lock with the process's
// last descriptor of the file, so a process that quits, crashes or is killed frees it. The
// owner writes its process id into the file, for the others to name it. Like the FIFOs, the
// file is refused unless it is a plain file of the current user, and never followed.
class ServingLock
{
public:
    enum class Outcome
    {
        owned,
        heldByOther,
        refused
    };

    struct Attempt
    {
        Outcome outcome = Outcome::refused;

        // With heldByOther: the owner's process id as it wrote it, 0 when unknown.
        long ownerProcessId = 0;

        // With refused: the path and why.
        std::string refusal;
    };

    explicit ServingLock (std::string lockPath);
    ~ServingLock();

    ServingLock (const ServingLock&) = delete;
    ServingLock& operator= (const ServingLock&) = delete;

    // Never waits. Owned, with nothing done, while this process owns the lock and the file
    // at the path is the one it locked. When that file was removed or replaced, locks the
    // file now at the path (making it when missing) and only then lets the old one go:
    // heldByOther when another process locked it first (this one then owns nothing), refused
    // when what is there now is unsafe (the old lock is kept, as no one else can take that
    // path either). Not owned: tries to take the lock. [one thread at a time]
    Attempt tryAcquire();

    // [one thread at a time]
    bool isOwned() const
    {
        return owned;
    }

    // Lets the lock go, deleting the file first when it is still the one this process locked.
    // [one thread at a time]
    void release();

    // [any thread]
    const std::string& path() const
    {
        return lockPath;
    }

private:
    UniqueFd openSafely (std::string& refusal) const;
    bool isAtPath() const;
    Attempt takeOver();
    Attempt renew();
    void publishProcessId();
    long readProcessId() const;

    const std::string lockPath;
    UniqueFd fd;
    fifo_file::Identity lockedIdentity;
    bool owned = false;
};
