// Linux and macOS: the log file through a descriptor, every name opened without following a
// symbolic link, the file opened inside the folder that was checked.

#include "logging/LogFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "OwnFile.h"
#include "UniqueFd.h"

namespace
{
// O_NOFOLLOW: a symbolic link at the name, dangling or not, is refused, never followed.
// O_NONBLOCK: a FIFO planted at the name does not block the open (it is refused after it).
constexpr int kOpenFlags = O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

int fdOf (std::intptr_t handle)
{
    return static_cast<int> (handle);
}

LogFile::Identity identityOf (const struct stat& info)
{
    return {static_cast<std::uint64_t> (info.st_dev), static_cast<std::uint64_t> (info.st_ino)};
}

LogFile::Open openFolder (const std::string& filePath, UniqueFd& folder, std::string& refusal, std::string& notice)
{
    const auto slash = filePath.rfind ('/');
    const auto folderPath = slash == std::string::npos ? std::string (".") : slash == 0 ? std::string ("/")
                                                                                        : filePath.substr (0, slash);

    // O_NOFOLLOW: a symbolic link at the folder's name is refused, never followed.
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    folder.reset (aboveStandardStreams (::open (folderPath.c_str(), kFolderFlags)));

    // Missing: made, the log's own folder readable by others as the log always was, but never
    // inside another user's folder (their home, for REAPER run as root with their HOME).
    if (!folder.isValid() && errno == ENOENT)
    {
        if (const auto whyNot = own_file::makeFolders (folderPath, 0755); !whyNot.empty())
        {
            refusal = folderPath + " " + whyNot;
            return LogFile::Open::refused;
        }

        folder.reset (aboveStandardStreams (::open (folderPath.c_str(), kFolderFlags)));
    }

    struct stat info;

    if (!folder.isValid())
    {
        // Anything else in the way (a file, a folder on the way missing) may go: tried again.
        const auto error = errno;

        if (!(error == ELOOP || (error == ENOTDIR && ::lstat (folderPath.c_str(), &info) == 0 && S_ISLNK (info.st_mode))))
            return LogFile::Open::unwritable;

        refusal = folderPath + " is a symbolic link";
        return LogFile::Open::refused;
    }

    if (::fstat (folder.get(), &info) != 0)
        return LogFile::Open::unwritable;

    // Another user's folder is never used: its owner could swap the log for a link to a file
    // of their choosing, or read what was spotted.
    if (const auto whyNot = own_file::whyNotFolder (info); !whyNot.empty())
    {
        refusal = folderPath + " " + whyNot;
        folder.reset();
        return LogFile::Open::refused;
    }

    // This user's folder that others may write in (made by an older version under a umask
    // that lets the group write): made this user's alone before anything is written in it.
    // What others may have put in it meanwhile is refused file by file.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    {
        if (::fchmod (folder.get(), info.st_mode & 07777 & ~(S_IWGRP | S_IWOTH)) != 0)
        {
            refusal = folderPath + " is writable by others";
            folder.reset();
            return LogFile::Open::refused;
        }

        notice = "Log folder " + folderPath + " was writable by others: now only by its owner\r\n";
    }

    return LogFile::Open::opened;
}
} // namespace

LogFile::~LogFile()
{
    close();
}

LogFile::LogFile (LogFile&& other) noexcept
    : handle (other.handle)
    , openedIdentity (other.openedIdentity)
{
    other.handle = -1;
}

LogFile& LogFile::operator= (LogFile&& other) noexcept
{
    if (this != &other)
    {
        close();
        handle = other.handle;
        openedIdentity = other.openedIdentity;
        other.handle = -1;
    }

    return *this;
}

LogFile::Open LogFile::open (const std::string& at, bool& created, std::string& refusal, std::string& notice)
{
    close();
    created = false;

    UniqueFd folder;
    const auto folderOutcome = openFolder (at, folder, refusal, notice);

    if (folderOutcome != Open::opened)
        return folderOutcome;

    // Opened inside the folder checked: the names on the way are not looked up again.
    const auto name = at.substr (at.rfind ('/') + 1);
    const auto openIn = [&] (int flags)
    { return aboveStandardStreams (::openat (folder.get(), name.c_str(), flags, 0644)); };

    // Read as well as written, so the file's tail can be read back when it is trimmed.
    UniqueFd opened (openIn (O_RDWR | kOpenFlags));

    if (!opened.isValid() && errno == EACCES)
        opened.reset (openIn (O_WRONLY | kOpenFlags));

    if (!opened.isValid() && errno == ENOENT)
    {
        opened.reset (openIn (O_RDWR | O_CREAT | O_EXCL | kOpenFlags));
        created = opened.isValid();

        if (!opened.isValid() && errno == EEXIST)
            opened.reset (openIn (O_RDWR | kOpenFlags));
    }

    if (!opened.isValid())
    {
        const auto error = errno;
        struct stat there;

        if (error == ELOOP)
            refusal = at + " is a symbolic link";
        else if (error == EISDIR)
            refusal = at + " is a directory";
        else if (error == ENXIO)
            refusal = at + " exists and is not a regular file";
        else if ((error == EACCES || error == EPERM) && ::fstatat (folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0
                 && there.st_uid != ::geteuid())
            refusal = at + " is owned by another user";
        else
            return Open::unwritable; // a read-only folder, a full disk: tried again later

        return Open::refused;
    }

    struct stat info;

    if (::fstat (opened.get(), &info) != 0)
        return Open::unwritable;

    const auto whyNot = own_file::whyNot (info);

    if (!whyNot.empty())
    {
        refusal = at + " " + whyNot;
        return Open::refused;
    }

    handle = opened.release();
    openedIdentity = identityOf (info);
    return Open::opened;
}

bool LogFile::isOpen() const
{
    return handle >= 0;
}

void LogFile::close()
{
    if (handle >= 0)
        ::close (fdOf (handle));

    handle = -1;
}

std::int64_t LogFile::size() const
{
    struct stat info;
    return isOpen() && ::fstat (fdOf (handle), &info) == 0 ? static_cast<std::int64_t> (info.st_size) : -1;
}

bool LogFile::stillAt (const std::string& path, std::int64_t& size) const
{
    // One lstat per write: the file at the name must still be the one written to.
    struct stat atPath;

    if (!isOpen() || ::lstat (path.c_str(), &atPath) != 0 || identityOf (atPath) != openedIdentity)
        return false;

    size = static_cast<std::int64_t> (atPath.st_size);
    return true;
}

bool LogFile::readAt (std::int64_t offset, char* data, std::size_t count) const
{
    return fd_transfer::readAllAt (fdOf (handle), data, count, static_cast<off_t> (offset)) == count;
}

bool LogFile::truncate()
{
    // In place, through the descriptor whose file was checked.
    return ::ftruncate (fdOf (handle), 0) == 0;
}

bool LogFile::append (const char* data, std::size_t count, std::size_t& written)
{
    written = 0;
    return fd_transfer::writeAll (fdOf (handle), data, count, written) == 0;
}
