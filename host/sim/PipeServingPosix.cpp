// Linux and macOS: the serving extension holds an flock on the lock file and has written its
// process id into it.

#include "PipeServing.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace reaper_host
{
namespace
{
class OpenFile
{
public:
    explicit OpenFile (const std::string& path)
        : fd (::open (path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK))
    {
    }
    ~OpenFile()
    {
        if (fd >= 0)
            ::close (fd);
    }
    OpenFile (const OpenFile&) = delete;
    OpenFile& operator= (const OpenFile&) = delete;

    const int fd;
};

long processIdIn (int fd)
{
    char text[32] = {};

    if (fd < 0 || ::pread (fd, text, sizeof (text) - 1, 0) <= 0)
        return 0;

    const auto id = std::strtol (text, nullptr, 10);
    return id > 0 ? id : 0;
}
} // namespace

bool pipeServedByThisProcess (const std::string& lockPath)
{
    const OpenFile file (lockPath);
    return processIdIn (file.fd) == (long) ::getpid();
}

PipeServing pipeServing (const std::string& lockPath)
{
    const OpenFile file (lockPath);

    if (file.fd < 0)
        return {};

    const auto id = processIdIn (file.fd);

    if (id == (long) ::getpid())
        return {PipeServing::State::thisProcess, id};

    // Someone holds the lock when even a shared one cannot be had.
    if (::flock (file.fd, LOCK_SH | LOCK_NB) == 0)
    {
        ::flock (file.fd, LOCK_UN);
        return {};
    }

    return {errno == EWOULDBLOCK ? PipeServing::State::otherProcess : PipeServing::State::nobody, id};
}
} // namespace reaper_host
