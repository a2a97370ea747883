#include "pipe/ReplyWriter.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>

#include "PacketBuilder.h"
#include "Platform.h"
#include "pipe/FifoPacketWriter.h"

namespace
{
constexpr int kDefaultTimeoutMs = 1000;

// While the reply FIFO has no reader (or is being made again), the open is tried again this
// often until the deadline.
constexpr auto kOpenRetryInterval = std::chrono::milliseconds (2);

// While the rest of a packet waits for room, the FIFO is also looked at this often: on some
// systems a reader that leaves does not wake a poll for room.
constexpr auto kLongestWaitForRoom = std::chrono::milliseconds (100);

int millisecondsUntil (std::chrono::steady_clock::time_point until)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds> (until - std::chrono::steady_clock::now()).count();
    return static_cast<int> (std::max<decltype (left)> (0, left));
}
} // namespace

ReplyWriter::ReplyWriter (std::uint32_t magicNumber)
    : magic (magicNumber)
{
}

ReplyWriter::~ReplyWriter()
{
    close();
}

bool ReplyWriter::open (const std::string& replyFifoPath, int sendTimeoutMs, Accounting accounting)
{
    const std::lock_guard<std::mutex> control (controlLock);
    stopThread();

    if (!wakePipe.open())
        return false;

    {
        const std::lock_guard<std::mutex> guard (lock);
        path = replyFifoPath;
        timeoutMs = sendTimeoutMs > 0 ? sendTimeoutMs : kDefaultTimeoutMs;
        counting = std::move (accounting);
        stalled = false;
        stopping = false;
        accepting = true;
    }

    thread = std::thread ([this]
                          { run(); });
    return true;
}

void ReplyWriter::close()
{
    const std::lock_guard<std::mutex> control (controlLock);
    stopThread();
}

void ReplyWriter::stopThread()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        accepting = false;
        stopping = true;
    }

    changed.notify_all();

    if (!thread.joinable())
        return;

    wakePipe.wake();
    thread.join();
}

bool ReplyWriter::write (const std::vector<std::uint8_t>& message)
{
    if (message.empty())
        return false;

    auto packet = buildPacket (magic, message.data(), message.size());

    if (packet.empty())
        return false;

    {
        const std::lock_guard<std::mutex> guard (lock);

        if (!accepting)
            return false;

        if (counting.taken)
            counting.taken (packet.size());

        queue.push_back (std::move (packet));
    }

    changed.notify_all();
    return true;
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

    // Written out already: closed at once, as the delivery ends. With replies still queued,
    // the writer closes it after the last.
    if (queue.empty())
        fd.reset();
}

std::size_t ReplyWriter::unwritten() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return queue.size();
}

void ReplyWriter::run()
{
    platform::setCurrentThreadName ("Pipe replies");
    std::unique_lock<std::mutex> guard (lock);

    for (;;)
    {
        changed.wait (guard, [this]
                      { return stopping || !queue.empty(); });

        if (queue.empty())
        {
            fd.reset();
            return;
        }

        // Only this thread takes from the queue, and adding at its end leaves the front in
        // place, so the packet may be read without the lock.
        const auto& packet = queue.front();
        const auto size = packet.size();
        const bool closing = stopping;
        bool written = false;

        // Closing: one try each, and none once one has failed.
        if (!(closing && stalled))
        {
            const bool tryOnce = stalled || closing;
            guard.unlock();
            written = writePacket (packet, tryOnce);
            guard.lock();
        }

        queue.pop_front();
        stalled = !written;

        // Closed before the reply counts as done, so that whoever sees the queue empty also
        // finds the FIFO closed.
        if (queue.empty() && (!inRun || stopping))
            fd.reset();

        const auto done = counting.done;
        guard.unlock();

        if (done)
            done (size);

        guard.lock();
    }
}

bool ReplyWriter::writePacket (const std::string& packet, bool tryOnce)
{
    const auto deadline = Clock::now() + (tryOnce ? std::chrono::milliseconds (0) : std::chrono::milliseconds (timeoutMs));
    std::size_t written = 0;

    for (;;)
    {
        // A packet is never begun on another opening than the one that carries its rest.
        if (!fd.isValid() && (written > 0 || !openBefore (deadline)))
            return false;

        const auto progress = fifo_packet_writer::writeAvailable (fd.get(), packet.data(), packet.size(), written);

        if (progress == fifo_packet_writer::Progress::done)
            return true;

        // A reader that left before the packet was begun is like none: the packet waits for
        // the next one until its deadline. One that left in its middle takes the rest along.
        if (progress == fifo_packet_writer::Progress::readerGone)
        {
            fd.reset();

            if (written > 0 || stopping || Clock::now() >= deadline)
                return false;

            pause (std::min (deadline, Clock::now() + kOpenRetryInterval));
            continue;
        }

        // Full. A packet not yet begun waits until its deadline; one begun waits for as long
        // as its reader stays.
        if (stopping || (written == 0 && Clock::now() >= deadline))
        {
            fd.reset();
            return false;
        }

        waitForRoom (written == 0 ? std::min (deadline, Clock::now() + kLongestWaitForRoom) : Clock::now() + kLongestWaitForRoom);
    }
}

bool ReplyWriter::openBefore (Clock::time_point deadline)
{
    for (;;)
    {
        fd = fifo_packet_writer::openNow (path);

        if (fd.isValid())
            return true;

        // ENXIO: no reader yet; ENOENT: missing, perhaps being made again. Either may change
        // before the deadline.
        if ((errno != ENXIO && errno != ENOENT) || stopping || Clock::now() >= deadline)
            return false;

        pause (std::min (deadline, Clock::now() + kOpenRetryInterval));
    }
}

void ReplyWriter::pause (Clock::time_point until)
{
    // close() ends the pause through the wake pipe.
    pollfd wake{wakePipe.readFd(), POLLIN, 0};
    ::poll (&wake, 1, millisecondsUntil (until));
}

void ReplyWriter::waitForRoom (Clock::time_point until)
{
    // A reader that left makes the FIFO report an error, which the next write turns into
    // EPIPE; close() wakes the wait through the wake pipe.
    pollfd fds[2] = {{fd.get(), POLLOUT, 0}, {wakePipe.readFd(), POLLIN, 0}};

    if (::poll (fds, 2, millisecondsUntil (until)) > 0 && fds[1].revents != 0)
        wakePipe.drain();
}
