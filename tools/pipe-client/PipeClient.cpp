#include "PipeClient.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "SigPipeSuppressor.h"

namespace
{
using Clock = std::chrono::steady_clock;

int millisecondsUntil (Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
    return left > 0 ? static_cast<int> (left) : 0;
}

// Non-blocking open, retried while the FIFO is missing (ENOENT) or, for writing, has no
// reader yet (ENXIO).
int openWithRetries (const std::string& path, int flags, Clock::time_point deadline)
{
    for (;;)
    {
        const auto fd = ::open (path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);

        if (fd >= 0 || (errno != ENOENT && errno != ENXIO) || Clock::now() >= deadline)
            return fd;

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
}

bool writeAll (int fd, const std::string& bytes, Clock::time_point deadline)
{
    if (fd < 0)
        return false;

    const SigPipeSuppressor noSigPipe (fd);
    std::size_t written = 0;

    while (written < bytes.size())
    {
        const auto result = ::write (fd, bytes.data() + written, bytes.size() - written);

        if (result > 0)
        {
            written += static_cast<std::size_t> (result);
            continue;
        }

        if (result < 0 && errno == EINTR)
            continue;

        if (result < 0 && errno == EAGAIN && millisecondsUntil (deadline) > 0)
        {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll (&pfd, 1, millisecondsUntil (deadline));
            continue;
        }

        return false;
    }

    return true;
}
} // namespace

PipeClient::PipeClient (std::uint32_t magicNumber)
    : magic (magicNumber)
    , framer (magicNumber)
{
}

PipeClient::~PipeClient()
{
    close();
}

bool PipeClient::open (const std::string& pipeName, int timeoutMs)
{
    close();

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);

    // The reply FIFO first: the extension's reply can only be written once it has a reader.
    // Opened for writing too: the extension opens and closes its end for every reply, and a
    // read-only end would then report a hang-up between replies, so that waiting for a reply
    // could only sleep and look again instead of waking when it arrives.
    replyPath = "/tmp/" + pipeName + "_out";
    replyFd = openWithRetries (replyPath, O_RDWR, deadline);
    requestFd = openWithRetries ("/tmp/" + pipeName + "_in", O_WRONLY, deadline);

    if (replyFd < 0 || requestFd < 0)
    {
        close();
        return false;
    }

    return true;
}

bool PipeClient::send (const std::string& payload, int timeoutMs)
{
    const auto packet = buildPacket (magic, payload.data(), payload.size());
    return !packet.empty() && sendRaw (packet, timeoutMs);
}

bool PipeClient::sendRaw (const std::string& bytes, int timeoutMs)
{
    return writeAll (requestFd, bytes, Clock::now() + std::chrono::milliseconds (timeoutMs));
}

std::optional<std::string> PipeClient::receive (int timeoutMs)
{
    if (replyFd < 0)
        return std::nullopt;

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    char buffer[65536];
    bool readOnce = false;

    for (;;)
    {
        PacketFramer::Event event;

        while (framer.nextEvent (event))
            if (event.kind == PacketFramer::Event::Kind::payload)
                return std::string (event.payload.begin(), event.payload.end());

        const auto waitMs = millisecondsUntil (deadline);

        // Even without time left, what has already arrived is read once.
        if (waitMs == 0 && readOnce)
            return std::nullopt;

        readOnce = true;

        pollfd pfd{replyFd, POLLIN, 0};
        ::poll (&pfd, 1, waitMs);

        const auto bytesRead = ::read (replyFd, buffer, sizeof (buffer));

        if (bytesRead > 0)
        {
            framer.feed (buffer, static_cast<std::size_t> (bytesRead));
            continue;
        }

        // No writer has the reply FIFO open between replies, so poll reports a hang-up and
        // read finds end-of-file at once; wait a little rather than spin.
        if (waitMs > 0 && (bytesRead == 0 || (pfd.revents & POLLHUP) != 0))
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
}

bool PipeClient::writeIntoReplyFifo (const std::string& bytes)
{
    if (replyFd < 0)
        return false;

    // Our own read end is open, so this non-blocking open for writing finds a reader.
    const auto fd = ::open (replyPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    const bool written = writeAll (fd, bytes, Clock::now());

    if (fd >= 0)
        ::close (fd);

    return written;
}

void PipeClient::close()
{
    if (requestFd >= 0)
        ::close (requestFd);

    if (replyFd >= 0)
        ::close (replyFd);

    requestFd = -1;
    replyFd = -1;
    framer.reset();
}

bool PipeClient::isOpen() const
{
    return requestFd >= 0 && replyFd >= 0;
}
