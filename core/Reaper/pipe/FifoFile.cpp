#include "pipe/FifoFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FifoTrust.h"

namespace fifo_file
{
namespace
{
constexpr mode_t kFifoMode = 0600;

// Empty when the file described is a FIFO owned by the current user, else why not.
std::string whyUnsafe (const struct stat& info)
{
    switch (fifo_trust::examine (info))
    {
        case fifo_trust::Problem::symbolicLink:
            return "is a symbolic link";

        case fifo_trust::Problem::notFifo:
            return "exists and is not a FIFO";

        case fifo_trust::Problem::otherOwner:
            return "is a FIFO owned by another user";

        case fifo_trust::Problem::openToOthers:
        case fifo_trust::Problem::none:
            break;
    }

    return {};
}

Outcome failure (const std::string& path, const std::string& reason)
{
    return Outcome::fail (path + " " + reason);
}

// Sets the mode to exactly 0600, whatever the umask or an earlier run left: a FIFO that other
// users can write would let them send requests. Done through a checked descriptor, since
// chmod on the path would follow a link planted in the meantime. Opening for reading and
// writing never blocks and does not look like a client to the peer.
Outcome restrictToOwner (const std::string& path)
{
    const UniqueFd fd (aboveStandardStreams (::open (path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)));
    struct stat info;

    if (!fd.isValid() || ::fstat (fd.get(), &info) != 0)
        return failure (path, "cannot be opened: " + std::string (std::strerror (errno)));

    const auto reason = whyUnsafe (info);

    if (!reason.empty())
        return failure (path, reason);

    if ((info.st_mode & 07777) != kFifoMode && ::fchmod (fd.get(), kFifoMode) != 0)
        return failure (path, "cannot be made private: " + std::string (std::strerror (errno)));

    return Outcome::ok();
}
} // namespace

Outcome prepare (const std::string& path, bool mustNotExist, bool& created)
{
    created = ::mkfifo (path.c_str(), kFifoMode) == 0;

    if (created)
    {
        // The umask may have taken the owner's own bits away. In sticky /tmp no one else can
        // swap the entry we have just made, so setting its mode by path is safe here.
        ::chmod (path.c_str(), kFifoMode);
        return restrictToOwner (path);
    }

    if (errno != EEXIST)
        return failure (path, "cannot be created: " + std::string (std::strerror (errno)));

    if (mustNotExist)
        return failure (path, "already exists");

    struct stat info;

    if (::lstat (path.c_str(), &info) != 0)
        return failure (path, "cannot be examined: " + std::string (std::strerror (errno)));

    const auto reason = whyUnsafe (info);

    return reason.empty() ? restrictToOwner (path) : failure (path, reason);
}

UniqueFd open (const std::string& path, int flags)
{
    UniqueFd fd (aboveStandardStreams (::open (path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC)));

    if (!fd.isValid())
        return fd;

    struct stat info;

    if (::fstat (fd.get(), &info) != 0 || !whyUnsafe (info).empty())
    {
        fd.reset();
        errno = 0;
    }

    return fd;
}

std::optional<Identity> identify (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0 || !whyUnsafe (info).empty())
        return std::nullopt;

    return Identity{info.st_dev, info.st_ino};
}

std::optional<Identity> identify (int fd)
{
    struct stat info;

    if (::fstat (fd, &info) != 0)
        return std::nullopt;

    return Identity{info.st_dev, info.st_ino};
}

std::string whyRefused (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0)
        return {};

    const auto reason = whyUnsafe (info);
    return reason.empty() ? std::string() : path + " " + reason;
}

void remove (const std::string& path, const Identity& identity)
{
    if (identify (path) == identity)
        ::unlink (path.c_str());
}

void remove (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) == 0 && whyUnsafe (info).empty())
        ::unlink (path.c_str());
}
} // namespace fifo_file
