#include "pipe/ReplyWriter.h"

#include <algorithm>
#include <chrono>

#include "PacketBuilder.h"
#include "pipe/FifoPacketWriter.h"

namespace
{
constexpr int kDefaultTimeoutMs = 1000;
} // namespace

ReplyWriter::ReplyWriter (std::uint32_t magicNumber)
    : magic (magicNumber)
{
}

void ReplyWriter::open (const std::string& replyFifoPath, int sendTimeoutMs)
{
    const std::lock_guard<std::mutex> guard (lock);
    path = replyFifoPath;
    timeoutMs = sendTimeoutMs > 0 ? sendTimeoutMs : kDefaultTimeoutMs;
    stalled = false;
}

void ReplyWriter::close()
{
    const std::lock_guard<std::mutex> guard (lock);
    path.clear();
    runFd.reset();
}

bool ReplyWriter::write (const std::vector<std::uint8_t>& message)
{
    if (message.empty())
        return false;

    const auto packet = buildPacket (magic, message.data(), message.size());

    if (packet.empty())
        return false;

    const std::lock_guard<std::mutex> guard (lock);

    if (path.empty())
        return false;

    // Opened and closed for every reply, or for every delivery of a run of requests: a FIFO
    // keeps its unread bytes for as long as anyone has it open, so holding it open between
    // deliveries would hand a departed client's unread reply (or a stray byte) to the next
    // client as the answer to its first request.
    const int deadlineMs = stalled ? 0 : timeoutMs;
    bool written = false;

    if (!inRun)
    {
        written = fifo_packet_writer::writeWhole (path, packet.data(), packet.size(), deadlineMs);
    }
    else
    {
        const auto start = std::chrono::steady_clock::now();

        if (!runFd.isValid())
            runFd = fifo_packet_writer::openForWriting (path, deadlineMs);

        const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();
        written = runFd.isValid()
                  && fifo_packet_writer::writeWhole (runFd.get(), packet.data(), packet.size(),
                                                     std::max (0, deadlineMs - static_cast<int> (elapsedMs)));

        // A reader that left, or a full FIFO: the next reply opens afresh.
        if (!written)
            runFd.reset();
    }

    stalled = !written;
    return written;
}

void ReplyWriter::beginRun()
{
    const std::lock_guard<std::mutex> guard (lock);
    inRun = true;
}

void ReplyWriter::endRun()
{
    const std::lock_guard<std::mutex> guard (lock);
    inRun = false;
    runFd.reset();
}
