#include "pipe/FifoFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fifo_file
{
namespace
{
constexpr mode_t kFifoMode = 0600;

// Empty when the file described is a FIFO owned by the current user, else why not.
juce::String whyUnsafe (const struct stat& info)
{
    if (S_ISLNK (info.st_mode))
        return "is a symbolic link";

    if (!S_ISFIFO (info.st_mode))
        return "exists and is not a FIFO";

    if (info.st_uid != geteuid())
        return "is a FIFO owned by another user";

    return {};
}

juce::Result failure (const juce::String& path, const juce::String& reason)
{
    return juce::Result::fail (path + " " + reason);
}

// Sets the mode to exactly 0600, whatever the umask or an earlier run left: a FIFO that other
// users can write would let them send requests. Done through a checked descriptor, since
// chmod on the path would follow a link planted in the meantime. Opening for reading and
// writing never blocks and does not look like a client to the peer.
juce::Result restrictToOwner (const juce::String& path)
{
    const UniqueFd fd (::open (path.toRawUTF8(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;

    if (!fd.isValid() || ::fstat (fd.get(), &info) != 0)
        return failure (path, "cannot be opened: " + juce::String (std::strerror (errno)));

    const auto reason = whyUnsafe (info);

    if (reason.isNotEmpty())
        return failure (path, reason);

    if ((info.st_mode & 07777) != kFifoMode && ::fchmod (fd.get(), kFifoMode) != 0)
        return failure (path, "cannot be made private: " + juce::String (std::strerror (errno)));

    return juce::Result::ok();
}
} // namespace

juce::Result prepare (const juce::String& path, bool mustNotExist, bool& created)
{
    created = ::mkfifo (path.toRawUTF8(), kFifoMode) == 0;

    if (created)
    {
        // The umask may have taken the owner's own bits away. In sticky /tmp no one else can
        // swap the entry we have just made, so setting its mode by path is safe here.
        ::chmod (path.toRawUTF8(), kFifoMode);
        return restrictToOwner (path);
    }

    if (errno != EEXIST)
        return failure (path, "cannot be created: " + juce::String (std::strerror (errno)));

    if (mustNotExist)
        return failure (path, "already exists");

    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) != 0)
        return failure (path, "cannot be examined: " + juce::String (std::strerror (errno)));

    const auto reason = whyUnsafe (info);

    return reason.isEmpty() ? restrictToOwner (path) : failure (path, reason);
}

UniqueFd open (const juce::String& path, int flags)
{
    UniqueFd fd (::open (path.toRawUTF8(), flags | O_NOFOLLOW | O_CLOEXEC));

    if (!fd.isValid())
        return fd;

    struct stat info;

    if (::fstat (fd.get(), &info) != 0 || whyUnsafe (info).isNotEmpty())
    {
        fd.reset();
        errno = 0;
    }

    return fd;
}

std::optional<Identity> identify (const juce::String& path)
{
    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) != 0 || whyUnsafe (info).isNotEmpty())
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

juce::String whyRefused (const juce::String& path)
{
    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) != 0)
        return {};

    const auto reason = whyUnsafe (info);
    return reason.isEmpty() ? juce::String() : path + " " + reason;
}

void remove (const juce::String& path, const Identity& identity)
{
    if (identify (path) == identity)
        ::unlink (path.toRawUTF8());
}

void remove (const juce::String& path)
{
    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) == 0 && whyUnsafe (info).isEmpty())
        ::unlink (path.toRawUTF8());
}
} // namespace fifo_file
