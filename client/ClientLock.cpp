#include "ClientLock.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FifoTrust.h"
#include "HomeFolder.h"
#include "OwnFile.h"

namespace
{
using Clock = std::chrono::steady_clock;

// Empty when the lock file may be used, else why not. A file of ours with another mode is
// made 0600 rather than refused: only someone who can open it could hold it against us.
std::string whyUntrusted (const struct stat& info)
{
    if (S_ISLNK (info.st_mode))
        return "is a symbolic link";

    if (!S_ISREG (info.st_mode))
        return "is " + fifo_trust::kindOf (info.st_mode) + ", not a regular file";

    if (info.st_uid != geteuid())
        return "belongs to another user (" + fifo_trust::userName (info.st_uid) + "), not to " + fifo_trust::userName (geteuid());

    return {};
}

// Empty when only this user can create files in the folder (a symbolic link to such a
// folder is fine), else why not.
std::string whyFolderUnsafe (const std::string& folder)
{
    struct stat info;

    if (::stat (folder.c_str(), &info) != 0)
        return std::string ("cannot be examined: ") + std::strerror (errno);

    if (!S_ISDIR (info.st_mode))
        return "is not a folder";

    if (info.st_uid != geteuid())
        return "belongs to another user (" + fifo_trust::userName (info.st_uid) + ")";

    if ((info.st_mode & 022) != 0)
        return "can be written by other users (mode " + fifo_trust::modeText (info.st_mode) + ")";

    return {};
}

std::string parentOf (const std::string& path)
{
    const auto slash = path.find_last_of ('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/"
                                                         : path.substr (0, slash);
}

ClientLock::Result refused (std::string reason)
{
    return {ClientLock::Result::Status::untrusted, std::move (reason)};
}

ClientLock::Result failed (const char* what)
{
    return {ClientLock::Result::Status::failed, std::string (what) + ": " + std::strerror (errno)};
}

bool sameFile (const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
} // namespace

std::string ClientLock::folder()
{
    // Not /tmp: anyone can create a file there, and a file of another user at the name would
    // lock this user out for good.
    if (const char* runtime = std::getenv ("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/' && whyFolderUnsafe (runtime).empty())
        return runtime;

    return home_folder::path() + "/.cache/bv-client";
}

std::string ClientLock::pathFor (const std::string& pipeName)
{
    auto name = pipeName;

    for (auto& c : name)
        if (c == '/')
            c = '_';

    return folder() + "/" + name + "_client.lock";
}

std::string ClientLock::whyRefused (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0)
        return {};

    return whyUntrusted (info);
}

ClientLock::~ClientLock()
{
    release();
}

ClientLock::Result ClientLock::acquire (const std::string& path, int timeoutMs)
{
    release();
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    const auto folder = parentOf (path);

    // Not inside another user's folder: as root with that user's HOME, a ~/.cache made here
    // would be root's, and that user would lose their own.
    if (const auto whyNot = own_file::makeFolders (folder, 0700); !whyNot.empty())
        return {Result::Status::failed, "cannot be made: its folder " + folder + " " + whyNot + " (run bv-client as that user, or with a HOME of your own)"};

    if (struct stat info; ::stat (folder.c_str(), &info) != 0)
        return {Result::Status::failed, "cannot be made: its folder " + folder + " cannot be made (" + std::strerror (errno) + ")"};

    if (auto reason = whyFolderUnsafe (folder); !reason.empty())
        return {Result::Status::failed, "cannot be used: its folder " + folder + " " + reason
                                            + ", so another user could lock bv-client out (the folder must be yours and closed to others, e.g. mode 0700)"};

    for (;;)
    {
        struct stat before;
        UniqueFd file;

        if (::lstat (path.c_str(), &before) == 0)
        {
            auto reason = whyUntrusted (before);

            if (!reason.empty())
                return refused (std::move (reason));

            file.reset (::open (path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        }
        else if (errno == ENOENT)
            file.reset (::open (path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        else
            return failed ("cannot be examined");

        if (!file.isValid())
        {
            // Created or deleted by another client in between: look again.
            if ((errno == ENOENT || errno == EEXIST) && Clock::now() < deadline)
                continue;

            return errno == ELOOP ? refused ("is a symbolic link") : failed ("cannot be opened");
        }

        struct stat opened;

        if (::fstat (file.get(), &opened) != 0)
            return failed ("cannot be examined");

        if (auto reason = whyUntrusted (opened); !reason.empty())
            return refused (std::move (reason));

        // Exactly 0600: a umask may have taken the owner's bits, or left others theirs.
        if ((opened.st_mode & 07777) != 0600)
            ::fchmod (file.get(), 0600);

        // Waits by polling: flock has no timeout, and a blocking one could not be bounded.
        while (::flock (file.get(), LOCK_EX | LOCK_NB) != 0)
        {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return failed ("cannot be locked");

            if (Clock::now() >= deadline)
                return {Result::Status::busy, {}};

            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }

        // The previous holder deletes the file as it lets go: a lock on a file no longer at
        // the path keeps no one else out, so take the one that is there now.
        struct stat now;

        if (::lstat (path.c_str(), &now) == 0 && sameFile (now, opened))
        {
            fd = std::move (file);
            heldPath = path;
            return {Result::Status::held, {}};
        }
    }
}

void ClientLock::release()
{
    if (!fd.isValid())
        return;

    // Deleted while still locked, so that no one can lock this file after we let go.
    struct stat atPath, held;

    if (::lstat (heldPath.c_str(), &atPath) == 0 && ::fstat (fd.get(), &held) == 0 && sameFile (atPath, held))
        ::unlink (heldPath.c_str());

    fd.reset();
    heldPath.clear();
}
