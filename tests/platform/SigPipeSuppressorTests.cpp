#include <cerrno>
#include <csignal>

#include <pthread.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SigPipeSuppressor.h"

namespace
{
bool sigPipeBlocked()
{
    sigset_t mask;
    sigemptyset (&mask);
    pthread_sigmask (SIG_BLOCK, nullptr, &mask);
    return sigismember (&mask, SIGPIPE) == 1;
}

bool sigPipePending()
{
    sigset_t pending;
    sigemptyset (&pending);
    sigpending (&pending);
    return sigismember (&pending, SIGPIPE) == 1;
}

// Writes into a pipe whose read end is closed; the result of write and its errno.
std::pair<ssize_t, int> writeToBrokenPipe()
{
    int ends[2];
    EXPECT_EQ (::pipe (ends), 0);
    ::close (ends[0]);

    ssize_t result;
    int error;

    {
        const SigPipeSuppressor guard (ends[1]);
        result = ::write (ends[1], "x", 1);
        error = errno;
    }

    ::close (ends[1]);
    return {result, error};
}
} // namespace

TEST (SigPipeSuppressor, BrokenPipeWriteFailsQuietlyAndLeavesProcessSettingsAlone)
{
    // The default disposition ends the process on SIGPIPE: surviving is the check.
    struct sigaction before
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &before), 0);
    ASSERT_EQ (before.sa_handler, SIG_DFL);
    ASSERT_FALSE (sigPipeBlocked());

    const auto [result, error] = writeToBrokenPipe();
    EXPECT_EQ (result, -1);
    EXPECT_EQ (error, EPIPE);

    struct sigaction after
    {
    };
    ASSERT_EQ (sigaction (SIGPIPE, nullptr, &after), 0);
    EXPECT_EQ (after.sa_handler, SIG_DFL);
    EXPECT_FALSE (sigPipeBlocked());
    EXPECT_FALSE (sigPipePending());
}

TEST (SigPipeSuppressor, ThreadThatAlreadyBlockedSigPipeKeepsItBlocked)
{
    sigset_t set;
    sigemptyset (&set);
    sigaddset (&set, SIGPIPE);
    ASSERT_EQ (pthread_sigmask (SIG_BLOCK, &set, nullptr), 0);

    const auto [result, error] = writeToBrokenPipe();
    EXPECT_EQ (error, EPIPE);
    EXPECT_EQ (result, -1);
    EXPECT_TRUE (sigPipeBlocked());
    EXPECT_FALSE (sigPipePending());

    pthread_sigmask (SIG_UNBLOCK, &set, nullptr);
}
