// Where the descriptor cannot be marked (Linux: a pipe has no "no SIGPIPE" flag; macOS: no
// descriptor given, or the mark refused), SIGPIPE is blocked on the writing thread while the
// guard lives, and a SIGPIPE that our write raised meanwhile is consumed before the old mask
// returns; a thread-directed signal is never seen by the rest of the process.

#include "SigPipeSuppressor.h"

#include <csignal>

#include <pthread.h>

namespace
{
sigset_t sigPipeSet()
{
    sigset_t set;
    sigemptyset (&set);
    sigaddset (&set, SIGPIPE);
    return set;
}

bool isSigPipePending()
{
    sigset_t pending;
    sigemptyset (&pending);
    return sigpending (&pending) == 0 && sigismember (&pending, SIGPIPE) == 1;
}
} // namespace

SigPipeSuppressor::SigPipeSuppressor (int fd)
{
    if (markDescriptor (fd))
        return;

    // A SIGPIPE that was already pending is someone else's and stays pending.
    wasPending = isSigPipePending();

    const auto set = sigPipeSet();
    sigset_t previous;
    sigemptyset (&previous);

    if (pthread_sigmask (SIG_BLOCK, &set, &previous) == 0)
        blocked = sigismember (&previous, SIGPIPE) == 0;
}

SigPipeSuppressor::~SigPipeSuppressor()
{
    const auto set = sigPipeSet();

    // Pending already, so sigwait (on every system, unlike sigtimedwait) returns at once.
    if (!wasPending && isSigPipePending())
    {
        int taken = 0;
        sigwait (&set, &taken);
    }

    if (blocked)
        pthread_sigmask (SIG_UNBLOCK, &set, nullptr);
}
