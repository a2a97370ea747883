#include "UniqueFd.h"

#include <cerrno>

#include <fcntl.h>

int aboveStandardStreams (int fd)
{
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;

    const auto moved = ::fcntl (fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const auto error = errno;
    ::close (fd);
    errno = error;
    return moved;
}
