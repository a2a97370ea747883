#include "pipe/FifoPacketWriter.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "SigPipeSuppressor.h"
#include "pipe/FifoFile.h"

namespace fifo_packet_writer
{
namespace
{
using Clock = std::chrono::steady_clock;

constexpr auto kOpenRetryInterval = std::chrono::milliseconds (2);

int millisecondsUntil (Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
    return left > 0 ? static_cast<int> (left) : 0;
}

// The non-blocking open fails with ENXIO while no one has the FIFO open for reading, and
// with ENOENT while it does not exist; both may change before the deadline.
UniqueFd openBefore (const std::string& path, Clock::time_point deadline)
{
    for (;;)
    {
        auto fd = fifo_file::open (path, O_WRONLY | O_NONBLOCK);

        if (fd.isValid() || (errno != ENXIO && errno != ENOENT) || Clock::now() >= deadline)
            return fd;

        std::this_thread::sleep_for (std::min<Clock::duration> (kOpenRetryInterval, deadline - Clock::now()));
    }
}

bool writeBefore (int fd, const void* data, std::size_t size, Clock::time_point deadline)
{
    const SigPipeSuppressor noSigPipe (fd);
    auto* bytes = static_cast<const char*> (data);
    std::size_t written = 0;

    while (written < size)
    {
        const auto result = ::write (fd, bytes + written, size - written);

        if (result > 0)
        {
            written += static_cast<std::size_t> (result);
            continue;
        }

        if (result < 0 && errno == EINTR)
            continue;

        if (result < 0 && errno == EAGAIN)
        {
            const auto waitMs = millisecondsUntil (deadline);

            if (waitMs == 0)
                return false;

            pollfd pfd{fd, POLLOUT, 0};
            ::poll (&pfd, 1, waitMs);
            continue;
        }

        // EPIPE: the reader left mid-packet. Anything else: the FIFO is unusable.
        return false;
    }

    return true;
}
} // namespace

bool writeWhole (const std::string& path, const void* data, std::size_t size, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    const auto fd = openBefore (path, deadline);
    return fd.isValid() && writeBefore (fd.get(), data, size, deadline);
}

UniqueFd openForWriting (const std::string& path, int timeoutMs)
{
    return openBefore (path, Clock::now() + std::chrono::milliseconds (timeoutMs));
}

bool writeWhole (int fd, const void* data, std::size_t size, int timeoutMs)
{
    return fd >= 0 && writeBefore (fd, data, size, Clock::now() + std::chrono::milliseconds (timeoutMs));
}
} // namespace fifo_packet_writer
