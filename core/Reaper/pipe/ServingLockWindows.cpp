// On Windows the pipe's name is its serving lock: the transport makes the first instance with
// FILE_FLAG_FIRST_PIPE_INSTANCE, which fails while any other process has an instance of that
// name, and the name is free again as soon as that process closes its last instance or dies.
// Taking the lock is looking whether the name is free, without connecting to what is there
// (WaitNamedPipe takes no instance), so that another REAPER (or a program that took the name)
// is waited for like a lock held by another process. Should another process make the pipe
// between the look and the transport's first instance, the transport refuses and the keeper
// tries again. No file is made.

#include <windows.h>

#include "pipe/ServingLock.h"

#include "PipeContract.h"

namespace
{
// The lock path is /tmp/<legal pipe name>.lock (pipe_contract::servingLockPath): the pipe
// named by it.
std::wstring pipeOfLock (const std::string& lockPath)
{
    auto name = lockPath.substr (lockPath.rfind ('/') + 1);
    name = name.substr (0, name.rfind (".lock"));
    const auto path = pipe_contract::windowsPipePath (name);
    return std::wstring (path.begin(), path.end());
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

    // Not there at all: free. There (with an instance free, or all busy): another process's.
    if (!owned && (::WaitNamedPipeW (pipeOfLock (lockPath).c_str(), 1) || ::GetLastError() != ERROR_FILE_NOT_FOUND))
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
