#include "pipe/WakePipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace
{
bool makeNonBlockingCloseOnExec (int fd)
{
    const auto flags = fcntl (fd, F_GETFL);

    return flags >= 0
           && fcntl (fd, F_SETFL, flags | O_NONBLOCK) == 0
           && fcntl (fd, F_SETFD, FD_CLOEXEC) == 0;
}
} // namespace

bool WakePipe::open()
{
    int ends[2];

    if (::pipe (ends) != 0)
        return false;

    readEnd.reset (aboveStandardStreams (ends[0]));
    writeEnd.reset (aboveStandardStreams (ends[1]));

    return readEnd.isValid() && writeEnd.isValid() && makeNonBlockingCloseOnExec (readEnd.get())
           && makeNonBlockingCloseOnExec (writeEnd.get());
}

void WakePipe::wake()
{
    const char byte = 1;

    // A full pipe already wakes the sleeper, so EAGAIN is as good as success.
    while (::write (writeEnd.get(), &byte, 1) < 0 && errno == EINTR)
    {
    }
}

void WakePipe::drain()
{
    char buffer[64];

    while (::read (readEnd.get(), buffer, sizeof (buffer)) > 0)
    {
    }
}
