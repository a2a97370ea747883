#include "pipe/ServingLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "OwnFile.h"

namespace
{
constexpr mode_t kLockMode = 0600;

// Someone removing or replacing the file at the moment the lock is taken makes a try come
// out stale; a few more tries settle it.
constexpr int kTakeOverTries = 3;

bool lockWithoutWaiting (int fd)
{
    while (::flock (fd, LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR)
            return false;

    return true;
}

std::optional<fifo_file::Identity> identityAt (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0)
        return std::nullopt;

    return fifo_file::Identity{info.st_dev, info.st_ino};
}
} // namespace

ServingLock::ServingLock (std::string pathToUse)
    : lockPath (std::move (pathToUse))
{
}

ServingLock::~ServingLock()
{
    release();
}

ServingLock::Attempt ServingLock::tryAcquire()
{
    return owned ? renew() : takeOver();
}

ServingLock::Attempt ServingLock::takeOver()
{
    for (int tries = 0; tries < kTakeOverTries; ++tries)
    {
        if (!fd.isValid())
        {
            std::string refusal;
            fd = openSafely (refusal);

            if (!fd.isValid())
                return {Outcome::refused, 0, refusal};
        }

        // Tried on the file already open even when it is no longer at the path: while its
        // owner lives and holds it, that owner serves (and makes the file again).
        if (!lockWithoutWaiting (fd.get()))
        {
            if (errno == EWOULDBLOCK)
                return {Outcome::heldByOther, readProcessId(), {}};

            const auto refusal = lockPath + " cannot be locked: " + std::string (std::strerror (errno));
            fd.reset();
            return {Outcome::refused, 0, refusal};
        }

        // A lock on a file that was deleted or replaced keeps no one else out: let it go and
        // lock the file at the path.
        const auto identity = fifo_file::identify (fd.get());

        if (identity && identityAt (lockPath) == identity)
        {
            lockedIdentity = *identity;
            owned = true;
            publishProcessId();
            return {Outcome::owned, 0, {}};
        }

        fd.reset();
    }

    return {Outcome::heldByOther, 0, {}};
}

ServingLock::Attempt ServingLock::renew()
{
    if (isAtPath())
        return {Outcome::owned, 0, {}};

    // The old lock is held until the new one is, so no one else can slip in between.
    auto held = std::move (fd);
    owned = false;
    const auto attempt = takeOver();

    if (attempt.outcome == Outcome::refused)
    {
        fd = std::move (held);
        owned = true;
    }

    return attempt;
}

bool ServingLock::isAtPath() const
{
    return identityAt (lockPath) == lockedIdentity;
}

void ServingLock::release()
{
    if (owned && isAtPath())
        ::unlink (lockPath.c_str());

    fd.reset();
    owned = false;
}

UniqueFd ServingLock::openSafely (std::string& refusal) const
{
    // O_NOFOLLOW refuses a symbolic link, dangling or not; O_NONBLOCK keeps a FIFO planted
    // at the name from blocking the open.
    UniqueFd opened (aboveStandardStreams (::open (lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, kLockMode)));

    if (!opened.isValid())
    {
        if (errno == ELOOP)
            refusal = lockPath + " is a symbolic link";
        else if (errno == EISDIR)
            refusal = lockPath + " is a directory";
        else
            refusal = lockPath + " cannot be opened: " + std::string (std::strerror (errno));

        return {};
    }

    struct stat info;

    if (::fstat (opened.get(), &info) != 0)
        refusal = lockPath + " cannot be examined: " + std::string (std::strerror (errno));
    else if (const auto whyNot = own_file::whyNot (info); !whyNot.empty())
        refusal = lockPath + " " + whyNot;
    else if ((info.st_mode & 07777) != kLockMode && ::fchmod (opened.get(), kLockMode) != 0)
        refusal = lockPath + " cannot be made private: " + std::string (std::strerror (errno));
    else
        return opened;

    return {};
}

void ServingLock::publishProcessId()
{
    const auto text = std::to_string (static_cast<long> (::getpid())) + "\n";

    if (::ftruncate (fd.get(), 0) == 0)
        (void) !::pwrite (fd.get(), text.data(), text.size(), 0);
}

long ServingLock::readProcessId() const
{
    char text[32] = {};
    const auto length = ::pread (fd.get(), text, sizeof (text) - 1, 0);

    if (length <= 0)
        return 0;

    const auto id = std::strtol (text, nullptr, 10);
    return id > 0 ? id : 0;
}
