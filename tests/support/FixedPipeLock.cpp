#include "FixedPipeLock.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace testing_support
{
namespace
{
// Outside the "bv_reaper_" names, so checks for files the pipe left behind never see it.
const char* const kLockPath = "/tmp/bv-reaper-fixed-pipe.lock";
} // namespace

FixedPipeLock::FixedPipeLock()
{
    fd = ::open (kLockPath, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);

    if (fd < 0)
        return;

    while (::flock (fd, LOCK_EX) != 0)
    {
        if (errno != EINTR)
        {
            ::close (fd);
            fd = -1;
            return;
        }
    }
}

FixedPipeLock::~FixedPipeLock()
{
    if (fd >= 0)
        ::close (fd); // releases the lock
}
} // namespace testing_support
