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

// The same for the folder such files are kept in (its lstat, or the fstat of the folder
// opened with O_NOFOLLOW): a symbolic link could lead anywhere, and another user's folder is
// theirs to change under us.
inline std::string whyNotFolder (const struct stat& info)
{
    if (S_ISLNK (info.st_mode))
        return "is a symbolic link";
    if (info.st_uid != ::geteuid())
        return "is owned by another user";

    return {};
}

// The nearest folder on the way to a missing one that exists (links followed): where the
// missing folders would be made. Empty when that cannot be told.
std::string nearestExisting (const std::string& folder);

// A folder is made only inside a folder of this user. Made inside another user's (their home,
// when a program runs as root with that user's HOME, as sudo leaves it on some systems), it
// would be ours, and they would lose their own folder of that name. Empty when the missing
// folders on the way to folder may be made, else why not, as the log says it after the
// folder's path: "is missing and would be made in <folder>, which is owned by another user".
std::string whyNotMade (const std::string& folder);

// Makes the missing folders on the way to folder when whyNotMade allows it: the last with
// mode, those on the way 0700 (less what the umask takes away). Returns whyNotMade's answer.
std::string makeFolders (const std::string& folder, mode_t mode);
} // namespace own_file
