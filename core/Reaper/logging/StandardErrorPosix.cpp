// Linux and macOS: standard error is descriptor 2, which the host may close or reuse for
// another file; it is written through a copy of its own, above the standard streams, and only
// while descriptor 2 is still the file (type, device and inode) it was.

#include "logging/StandardErrorStream.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
int fdOf (std::intptr_t handle)
{
    return static_cast<int> (handle);
}
} // namespace

StandardErrorStream::StandardErrorStream()
{
    struct stat info;

    if (::fstat (STDERR_FILENO, &info) != 0)
        return;

    copy = ::fcntl (STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    device = static_cast<std::uint64_t> (info.st_dev);
    inode = static_cast<std::uint64_t> (info.st_ino);
    type = static_cast<std::uint32_t> (info.st_mode & S_IFMT);
}

StandardErrorStream::~StandardErrorStream()
{
    if (copy >= 0)
        ::close (fdOf (copy));
}

std::size_t StandardErrorStream::pieceBytes()
{
    // A pipe takes a write of up to PIPE_BUF bytes whole or waits for room for it.
    return PIPE_BUF;
}

std::size_t StandardErrorStream::writePiece (const char* data, std::size_t size)
{
    struct stat info;

    if (copy < 0 || ::fstat (STDERR_FILENO, &info) != 0 || static_cast<std::uint64_t> (info.st_dev) != device
        || static_cast<std::uint64_t> (info.st_ino) != inode || static_cast<std::uint32_t> (info.st_mode & S_IFMT) != type)
        return 0;

    // One write where the file takes it so; waits for room when the copy is non-blocking (the
    // descriptor's flags, which the host shares, are left as they are).
    std::size_t done = 0;

    while (done < size)
    {
        const auto result = ::write (fdOf (copy), data + done, size - done);

        if (result > 0)
        {
            done += static_cast<std::size_t> (result);
            continue;
        }

        if (result < 0 && errno == EINTR)
            continue;

        pollfd room{fdOf (copy), POLLOUT, 0};

        if (!(result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) || (::poll (&room, 1, -1) < 0 && errno != EINTR))
            break;
    }

    return done;
}
