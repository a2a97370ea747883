// On Windows the pipe's name is its serving lock: the transport makes the first instance with
// FILE_FLAG_FIRST_PIPE_INSTANCE, which fails while any other process has an instance of that
// name, and the name is free again as soon as that process closes its last instance or dies.
// Taking the lock is looking whether the name is free (windows_pipe_name::inUse), so that
// another REAPER, or a program that took the name, is waited for like a lock another process
// holds. Should another process make the pipe between the look and the transport's first
// instance, the transport refuses and the keeper tries again. No file is made.

#include "pipe/ServingLock.h"

#include "pipe/WindowsPipeName.h"

namespace
{
// The lock's path is /tmp/<legal pipe name>.lock (pipe_contract::servingLockPath): the pipe it
// stands for.
std::wstring pipeOfLock (const std::string& lockPath)
{
    auto name = lockPath.substr (lockPath.rfind ('/') + 1);
    return windows_pipe_name::path (name.substr (0, name.rfind (".lock")));
}
} // namespace

ServingLock::ServingLock (std::string path)
    : lockPath (std::move (path))
{
}

ServingLock::~ServingLock()
{
    release();
}

ServingLock::Attempt ServingLock::tryAcquire()
{
    Attempt attempt;

    if (!owned && windows_pipe_name::inUse (pipeOfLock (lockPath)))
    {
        attempt.outcome = Outcome::heldByOther;
        return attempt;
    }

    owned = true;
    attempt.outcome = Outcome::owned;
    return attempt;
}

void ServingLock::release()
{
    owned = false;
}
