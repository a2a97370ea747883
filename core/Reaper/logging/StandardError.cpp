#include "logging/StandardError.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SigPipeSuppressor.h"
#include "UniqueFd.h"

namespace standard_error
{
namespace
{
constexpr int kFd = STDERR_FILENO;

// Writes what the descriptor takes now; `pieceBytes` 0 means it never waits, so all at once.
std::size_t writeAll (int fd, const char* data, std::size_t size, std::size_t pieceBytes)
{
    std::size_t written = 0;

    while (written < size)
    {
        if (pieceBytes > 0)
        {
            // POLLOUT on a pipe means room for at least PIPE_BUF bytes: such a write never waits.
            pollfd room{fd, POLLOUT, 0};
            const auto ready = ::poll (&room, 1, 0);

            if (ready < 0 && errno == EINTR)
                continue;

            if (ready != 1 || (room.revents & POLLOUT) == 0 || (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                break;
        }

        const auto count = pieceBytes > 0 ? std::min (size - written, pieceBytes) : size - written;
        const auto result = ::write (fd, data + written, count);

        if (result > 0)
            written += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            break;
    }

    return written;
}

std::size_t sendAll (const char* data, std::size_t size)
{
    std::size_t written = 0;

    while (written < size)
    {
        const auto result = ::send (kFd, data + written, size - written, MSG_DONTWAIT);

        if (result > 0)
            written += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            break;
    }

    return written;
}

std::size_t writeToTerminal (const char* data, std::size_t size)
{
    char name[256];

    if (::ttyname_r (kFd, name, sizeof (name)) != 0)
        return writeAll (kFd, data, size, PIPE_BUF);

    // A description of our own, so O_NONBLOCK is ours alone.
    UniqueFd terminal (::open (name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));

    if (!terminal.isValid())
        return writeAll (kFd, data, size, PIPE_BUF);

    return writeAll (terminal.get(), data, size, 0);
}
} // namespace

std::size_t writeWithoutWaiting (const char* data, std::size_t size)
{
    struct stat info;

    if (size == 0 || ::fstat (kFd, &info) != 0)
        return 0;

    const SigPipeSuppressor quiet (kFd);

    if (S_ISREG (info.st_mode) || S_ISBLK (info.st_mode))
        return writeAll (kFd, data, size, 0);

    if (S_ISSOCK (info.st_mode))
        return sendAll (data, size);

    if (::isatty (kFd) != 0)
        return writeToTerminal (data, size);

    return writeAll (kFd, data, size, PIPE_BUF);
}
} // namespace standard_error
