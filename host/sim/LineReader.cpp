#include "LineReader.h"

#include <algorithm>
#include <cerrno>
#include <climits>

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

    // poll (POSIX, unlike ppoll) counts whole milliseconds: rounded up, so a wait shorter
    // than one is not a busy loop.
    pollfd waitFor{fd, POLLIN, 0};
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds> (std::max (timeout, std::chrono::microseconds (0)));
    const int wait = (int) std::min<std::chrono::milliseconds::rep> (milliseconds.count(), INT_MAX);

    if (::poll (&waitFor, 1, wait) <= 0)
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
