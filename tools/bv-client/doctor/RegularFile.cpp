#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "FifoTrust.h"

namespace regular_file
{
namespace
{
std::string notRegular (const std::string& path, const struct stat& info)
{
    struct stat link;
    std::string what = "is " + fifo_trust::kindOf (info.st_mode) + ", not a regular file";

    // Say where a link leads, since the name alone looks like a file.
    if (::lstat (path.c_str(), &link) == 0 && S_ISLNK (link.st_mode))
    {
        char target[4096];
        const auto length = ::readlink (path.c_str(), target, sizeof (target) - 1);

        if (length > 0)
            what = "is a symbolic link to " + std::string (target, static_cast<std::size_t> (length)) + ", " + fifo_trust::kindOf (info.st_mode) + ", not a regular file";
    }

    return what;
}
} // namespace

Opened open (const std::string& path)
{
    Opened opened;
    struct stat before;

    if (::stat (path.c_str(), &before) != 0)
    {
        opened.status = errno == ENOENT ? Opened::Status::missing : Opened::Status::failed;
        opened.problem = std::string ("cannot be examined: ") + std::strerror (errno);
        return opened;
    }

    if (!S_ISREG (before.st_mode))
    {
        opened.status = Opened::Status::notRegular;
        opened.problem = notRegular (path, before);
        return opened;
    }

    // Non-blocking and checked again: the file may have been swapped for a FIFO in between.
    UniqueFd fd (::open (path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info;

    if (!fd.isValid() || ::fstat (fd.get(), &info) != 0)
    {
        opened.status = errno == ENOENT ? Opened::Status::missing : Opened::Status::failed;
        opened.problem = std::string ("cannot be read: ") + std::strerror (errno);
        return opened;
    }

    if (!S_ISREG (info.st_mode))
    {
        opened.status = Opened::Status::notRegular;
        opened.problem = notRegular (path, info);
        return opened;
    }

    opened.status = Opened::Status::open;
    opened.fd = std::move (fd);
    opened.size = static_cast<std::uint64_t> (info.st_size);
    return opened;
}

std::string readAt (const Opened& opened, std::uint64_t offset, std::uint64_t count)
{
    if (!opened.isOpen() || offset >= opened.size)
        return {};

    std::string data (static_cast<std::size_t> (std::min (count, opened.size - offset)), '\0');
    data.resize (fd_transfer::readAllAt (opened.fd.get(), data.data(), data.size(), static_cast<off_t> (offset)));
    return data;
}

Tail readTail (const std::string& path, std::uint64_t maxBytes)
{
    auto opened = open (path);
    Tail tail;
    tail.status = opened.status;
    tail.problem = opened.problem;

    if (!opened.isOpen())
        return tail;

    // The size as it was at the open bounds the read, however the file grows meanwhile.
    const auto count = opened.size < maxBytes ? opened.size : maxBytes;
    const auto from = opened.size - count;
    tail.cut = from > 0;
    tail.bytes = readAt (opened, from, count);
    return tail;
}
} // namespace regular_file
