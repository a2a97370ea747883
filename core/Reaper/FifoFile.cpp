#include "FifoFile.h"

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
} // namespace

juce::Result prepare (const juce::String& path, bool mustNotExist, bool& created)
{
    created = ::mkfifo (path.toRawUTF8(), kFifoMode) == 0;

    if (created)
        return juce::Result::ok();

    if (errno != EEXIST)
        return failure (path, "cannot be created: " + juce::String (std::strerror (errno)));

    if (mustNotExist)
        return failure (path, "already exists");

    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) != 0)
        return failure (path, "cannot be examined: " + juce::String (std::strerror (errno)));

    const auto reason = whyUnsafe (info);

    return reason.isEmpty() ? juce::Result::ok() : failure (path, reason);
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

void remove (const juce::String& path)
{
    struct stat info;

    if (::lstat (path.toRawUTF8(), &info) == 0 && whyUnsafe (info).isEmpty())
        ::unlink (path.toRawUTF8());
}
} // namespace fifo_file
