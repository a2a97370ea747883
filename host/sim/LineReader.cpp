#include "LineReader.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace reaper_host
{
LineReader::LineReader (int fileDescriptor)
    : fd (fileDescriptor)
{
}

std::vector<std::string> LineReader::poll (std::chrono::microseconds timeout)
{
    std::vector<std::string> lines;

    if (ended)
        return lines;

    pollfd waitFor{fd, POLLIN, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds> (timeout);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds> (timeout - seconds);
    const timespec wait{(time_t) seconds.count(), (long) nanos.count()};

    if (ppoll (&waitFor, 1, &wait, nullptr) <= 0)
        return lines; // timeout, or a signal the caller will look at

    char buffer[4096];
    const auto count = read (fd, buffer, sizeof (buffer));

    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return lines;

    if (count <= 0)
    {
        ended = true;

        if (!pending.empty())
            lines.push_back (std::move (pending));

        pending.clear();
        return lines;
    }

    pending.append (buffer, (size_t) count);

    for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
    {
        lines.push_back (pending.substr (0, end));
        pending.erase (0, end + 1);
    }

    return lines;
}
} // namespace reaper_host
