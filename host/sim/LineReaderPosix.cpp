// Linux and macOS: poll on the descriptor, then one read.

#include "LineReader.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include <poll.h>
#include <unistd.h>

namespace reaper_host
{
struct LineReader::Input
{
    int fd;
};

LineReader::LineReader (int fileDescriptor)
    : input (new Input{fileDescriptor})
{
}

LineReader::~LineReader() = default;

LineReader::Read LineReader::readSome (std::chrono::microseconds timeout, std::string& into)
{
    // poll (POSIX, unlike ppoll) counts whole milliseconds: rounded up, so a wait shorter
    // than one is not a busy loop.
    pollfd waitFor{input->fd, POLLIN, 0};
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds> (std::max (timeout, std::chrono::microseconds (0)));
    const int wait = (int) std::min<std::chrono::milliseconds::rep> (milliseconds.count(), INT_MAX);

    if (::poll (&waitFor, 1, wait) <= 0)
        return Read::nothing; // timeout, or a signal the caller will look at

    char buffer[4096];
    const auto count = read (input->fd, buffer, sizeof (buffer));

    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return Read::nothing;

    if (count <= 0)
        return Read::end;

    into.append (buffer, (size_t) count);
    return Read::data;
}
} // namespace reaper_host
