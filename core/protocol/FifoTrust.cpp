#include "FifoTrust.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <pwd.h>
#include <unistd.h>

namespace fifo_trust
{
namespace
{
Verdict fromStatus (int result, const struct stat& info)
{
    if (result != 0)
    {
        if (errno == ENOENT)
            return {Verdict::State::missing, "does not exist"};

        return {Verdict::State::unreadable, std::string ("cannot be examined: ") + std::strerror (errno)};
    }

    auto reason = whyUntrusted (info);

    if (reason.empty())
        return {Verdict::State::trusted, {}};

    return {Verdict::State::untrusted, std::move (reason)};
}
} // namespace

std::string kindOf (mode_t mode)
{
    if (S_ISREG (mode))
        return "a regular file";
    if (S_ISDIR (mode))
        return "a directory";
    if (S_ISFIFO (mode))
        return "a FIFO";
    if (S_ISLNK (mode))
        return "a symbolic link";
    if (S_ISSOCK (mode))
        return "a socket";
    if (S_ISCHR (mode) || S_ISBLK (mode))
        return "a device";

    return "a file of an unknown kind";
}

std::string userName (uid_t uid)
{
    // getpwuid_r with a fixed buffer: this runs once per check, never in a hot path.
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[1024];

    if (getpwuid_r (uid, &entry, buffer, sizeof (buffer), &found) == 0 && found != nullptr)
        return found->pw_name;

    return "uid " + std::to_string (uid);
}

std::string modeText (mode_t mode)
{
    char text[8];
    std::snprintf (text, sizeof (text), "%04o", static_cast<unsigned> (mode & 07777));
    return text;
}

Problem examine (const struct stat& info)
{
    if (S_ISLNK (info.st_mode))
        return Problem::symbolicLink;

    if (!S_ISFIFO (info.st_mode))
        return Problem::notFifo;

    if (info.st_uid != geteuid())
        return Problem::otherOwner;

    if ((info.st_mode & 077) != 0)
        return Problem::openToOthers;

    return Problem::none;
}

std::string whyUntrusted (const struct stat& info)
{
    switch (examine (info))
    {
        case Problem::none:
            return {};

        case Problem::symbolicLink:
            return "is a symbolic link";

        case Problem::notFifo:
            return "is " + kindOf (info.st_mode) + ", not a FIFO";

        case Problem::otherOwner:
            return "belongs to another user (" + userName (info.st_uid) + "), not to " + userName (geteuid())
                   + ": it is that user's pipe, or one planted to catch what is sent";

        case Problem::openToOthers:
            break;
    }

    return "is open to other users (mode " + modeText (info.st_mode) + "; it must be 0600)";
}

Verdict checkPath (const std::string& path)
{
    struct stat info;
    const int result = ::lstat (path.c_str(), &info);
    return fromStatus (result, info);
}

Verdict checkOpened (int fd)
{
    struct stat info;
    const int result = ::fstat (fd, &info);
    return fromStatus (result, info);
}
} // namespace fifo_trust
