#include "PipeClient.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "FifoTrust.h"
#include "SigPipeSuppressor.h"

namespace
{
using Clock = std::chrono::steady_clock;

int millisecondsUntil (Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
    return left > 0 ? static_cast<int> (left) : 0;
}

// Non-blocking open of a trusted FIFO, retried while it is missing (ENOENT) or, for
// writing, has no reader yet (ENXIO). Fails at once on a file that is not trusted.
int openTrusted (const std::string& path, int flags, Clock::time_point deadline, PipeOpenResult& result)
{
    result.path = path;

    for (;;)
    {
        auto verdict = fifo_trust::checkPath (path);
        int fd = -1;

        if (verdict.trusted())
        {
            fd = ::open (path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);

            if (fd >= 0)
            {
                verdict = fifo_trust::checkOpened (fd);

                if (verdict.trusted())
                    return fd;

                ::close (fd);
                result.status = PipeOpenResult::Status::untrusted;
                result.reason = verdict.reason;
                return -1;
            }
        }

        const bool retry = verdict.state == fifo_trust::Verdict::State::missing || (verdict.trusted() && (errno == ENOENT || errno == ENXIO));

        if (!retry || Clock::now() >= deadline)
        {
            if (verdict.state == fifo_trust::Verdict::State::missing || (verdict.trusted() && errno == ENOENT))
                result.status = PipeOpenResult::Status::missing;
            else if (!verdict.trusted())
                result.status = verdict.state == fifo_trust::Verdict::State::untrusted ? PipeOpenResult::Status::untrusted
                                                                                       : PipeOpenResult::Status::failed;
            else if (errno == ENXIO)
                result.status = PipeOpenResult::Status::noReader;
            else if (errno == EACCES || errno == EPERM)
                result.status = PipeOpenResult::Status::denied;
            else if (errno == ELOOP)
                result.status = PipeOpenResult::Status::untrusted, verdict.reason = "is a symbolic link";
            else
                result.status = PipeOpenResult::Status::failed, verdict.reason = std::strerror (errno);

            result.reason = verdict.reason;
            return -1;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
}

// Writes all of bytes, waiting for room in the FIFO until the deadline.
bool writeBefore (int fd, const std::string& bytes, Clock::time_point deadline)
{
    if (fd < 0)
        return false;

    const SigPipeSuppressor noSigPipe (fd);
    std::size_t written = 0;

    for (;;)
    {
        const auto stoppedBy = fd_transfer::writeAll (fd, bytes.data(), bytes.size(), written);

        if (stoppedBy == 0)
            return true;

        if (stoppedBy != EAGAIN || millisecondsUntil (deadline) <= 0)
            return false;

        pollfd pfd{fd, POLLOUT, 0};
        ::poll (&pfd, 1, millisecondsUntil (deadline));
    }
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
    auto& result = lastOpen;
    result = {};

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);

    // The reply FIFO first: the extension's reply can only be written once it has a reader.
    // Opened for writing too: the extension opens and closes its end for every reply, and a
    // read-only end would then report a hang-up between replies, so that waiting for a reply
    // could only sleep and look again instead of waking when it arrives.
    replyPath = pipe_contract::replyFifoPath (pipeName);
    replyFd = openTrusted (replyPath, O_RDWR, deadline, result);

    if (replyFd >= 0)
        requestFd = openTrusted (pipe_contract::requestFifoPath (pipeName), O_WRONLY, deadline, result);

    if (replyFd < 0 || requestFd < 0)
    {
        close();
        return false;
    }

    result.status = PipeOpenResult::Status::open;
    result.reason.clear();
    return true;
}

std::size_t PipeClient::discardWaiting()
{
    std::size_t discarded = framer.dropPartialPacket();
    PacketFramer::Event event;

    while (framer.nextEvent (event))
        discarded += PacketFramer::kHeaderSize + event.payload.size();

    if (replyFd < 0)
        return discarded;

    char buffer[65536];

    for (;;)
    {
        const auto bytesRead = ::read (replyFd, buffer, sizeof (buffer));

        if (bytesRead > 0)
            discarded += static_cast<std::size_t> (bytesRead);
        else if (!(bytesRead < 0 && errno == EINTR))
            return discarded;
    }
}

bool PipeClient::send (const std::string& payload, int timeoutMs)
{
    const auto packet = buildPacket (magic, payload.data(), payload.size());
    return !packet.empty() && sendRaw (packet, timeoutMs);
}

bool PipeClient::sendRaw (const std::string& bytes, int timeoutMs)
{
    return writeBefore (requestFd, bytes, Clock::now() + std::chrono::milliseconds (timeoutMs));
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
    PipeOpenResult ignored;
    const auto fd = openTrusted (replyPath, O_WRONLY, Clock::now(), ignored);
    const bool written = writeBefore (fd, bytes, Clock::now());

    if (fd >= 0)
        ::close (fd);

    return written;
}

void PipeClient::closeRequests()
{
    if (requestFd >= 0)
        ::close (requestFd);

    requestFd = -1;
}

void PipeClient::close()
{
    closeRequests();

    if (replyFd >= 0)
        ::close (replyFd);

    replyFd = -1;
    framer.reset();
}

bool PipeClient::isOpen() const
{
    return requestFd >= 0 && replyFd >= 0;
}
