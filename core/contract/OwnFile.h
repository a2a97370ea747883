#pragma once

#include <string>

#include <sys/stat.h>
#include <unistd.h>

// The extension writes to files at fixed names (its log, the serving lock) only when the file
// there is this user's own regular file with one name: anything else was put there by someone
// or something else, and writing through it would reach a file not meant for us.
namespace own_file
{
// Empty when the status (of a file opened with O_NOFOLLOW) describes such a file, else why
// not, as the log says it after the file's path.
inline std::string whyNot (const struct stat& info)
{
    if (!S_ISREG (info.st_mode))
        return "exists and is not a regular file";
    if (info.st_uid != ::geteuid())
        return "is owned by another user";
    if (info.st_nlink != 1)
        return "has other names";

    return {};
}
} // namespace own_file
