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
        newestClient = 0;
        departedClients = 0;
        forgotten = 0;
        lostReaderBound = 0;
        drainWanted = false;
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

bool ReplyWriter::write (std::vector<std::uint8_t> message, unsigned client, AfterReply afterward)
{
    // The header goes beside the message, which is written as it came: never copied.
    auto header = message.empty() ? std::string() : packetHeader (magic, message.size());
    bool queued = false;

    if (!header.empty())
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (accepting)
        {
            if (counting.taken)
                counting.taken (header.size() + message.size() + afterward.heldBytes);

            // The reader there now is the one this reply is owed to. The FIFO is opened as the
            // first reply is queued rather than at the writer's turn, so that a reader leaving
            // before that turn fails the write and takes the reply with it, instead of being
            // seen only as a reader that has not come yet, waited for until the deadline.
            if (queue.empty() && !fd.isValid() && client >= newestClient)
                openNow();

            queue.push_back (Reply{std::move (header), std::move (message), client, std::move (afterward)});
            queued = true;
        }
    }

    if (!queued)
    {
        if (afterward.run)
            afterward.run();

        return false;
    }

    changed.notify_all();
    return true;
}

void ReplyWriter::clientLeft (unsigned departed)
{
    {
        // Under the lock, so that a drain's own read end is never taken for a client's.
        const std::lock_guard<std::mutex> guard (lock);
        departedClients = departed;

        // The reader that left the last opening was that client's, and it has now left the
        // request FIFO too.
        auto gone = std::min (departed, lostReaderBound.load());

        if (accepting && fifo_packet_writer::hasNoReader (path))
        {
            gone = departed;
            drainWanted = true;
        }

        forgotten = std::max (forgotten.load(), gone);
    }

    // A packet being written, or an opening waited for, is looked at again.
    changed.notify_all();
    wakePipe.wake();
}

void ReplyWriter::requestRead (unsigned client)
{
    auto newest = newestClient.load();

    while (client > newest && !newestClient.compare_exchange_weak (newest, client))
    {
    }
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
                      { return stopping || drainWanted || !queue.empty(); });

        // Before anything else is written, so that no later client reads it.
        if (drainWanted)
        {
            drainWanted = false;
            fifo_packet_writer::drain (path, fd);
            continue;
        }

        if (queue.empty())
        {
            fd.reset();
            return;
        }

        // Only this thread takes from the queue, and adding at its end leaves the front in
        // place, so the reply may be read without the lock.
        const auto& reply = queue.front();
        const bool closing = stopping;
        const bool clientGone = reply.client < forgotten;
        auto sent = Sent::notTaken;

        // Closing: one try each, and none once one has failed. A reply to a client gone from
        // both FIFOs is not tried at all.
        if (!(closing && stalled) && !clientGone)
        {
            const bool tryOnce = stalled || closing;
            guard.unlock();
            sent = writePacket (reply, tryOnce);
            guard.lock();
        }

        auto taken = std::move (queue.front());
        queue.pop_front();
        if (!clientGone)
            stalled = sent == Sent::notTaken;

        if (sent == Sent::clientGone)
            forgotten = std::max (forgotten.load(), taken.client + 1);

        if (sent == Sent::readerLeft)
        {
            lostReaderBound = taken.client + 1;
            forgotten = std::max (forgotten.load(), departedClients.load());
            drainWanted = true;

            // Everything queued until now was owed to the reader that left.
            finish (guard, std::move (taken));
            dropAllQueued (guard);
            continue;
        }

        finish (guard, std::move (taken));
    }
}

void ReplyWriter::finish (std::unique_lock<std::mutex>& guard, Reply&& reply)
{
    // Closed before the reply counts as done, so that whoever sees the queue empty also
    // finds the FIFO closed.
    if (queue.empty() && (!inRun || stopping))
        fd.reset();

    const auto done = counting.done;
    const auto size = reply.header.size() + reply.message.size() + reply.afterward.heldBytes;
    guard.unlock();

    if (done)
        done (size);

    if (reply.afterward.run)
        reply.afterward.run();

    guard.lock();
}

void ReplyWriter::dropAllQueued (std::unique_lock<std::mutex>& guard)
{
    std::deque<Reply> dropped;
    dropped.swap (queue);

    while (!dropped.empty())
    {
        auto reply = std::move (dropped.front());
        dropped.pop_front();
        finish (guard, std::move (reply));
    }
}

ReplyWriter::Sent ReplyWriter::writePacket (const Reply& reply, bool tryOnce)
{
    const fifo_packet_writer::Packet packet{reply.header.data(), reply.header.size(), reply.message.data(), reply.message.size()};
    const auto deadline = Clock::now() + (tryOnce ? std::chrono::milliseconds (0) : std::chrono::milliseconds (timeoutMs));
    std::size_t written = 0;

    for (;;)
    {
        // Its client has gone from both FIFOs: the packet is given up, and what of it is in the
        // FIFO goes with the drain.
        if (reply.client < forgotten)
        {
            fd.reset();
            return Sent::clientGone;
        }

        // A packet is never begun on another opening than the one that carries its rest, nor
        // on a new opening once a later client has been heard from: its reader would be that
        // client, and no later opening can be this one's.
        if (!fd.isValid())
        {
            if (written > 0)
                return Sent::notTaken;

            if (reply.client < newestClient)
                return Sent::clientGone;

            const auto opened = openBefore (deadline, reply.client);

            if (opened != Sent::written)
                return opened;
        }

        const auto progress = fifo_packet_writer::writeAvailable (fd.get(), packet, written);

        if (progress == fifo_packet_writer::Progress::done)
            return Sent::written;

        // The reader left: with it went whatever of this packet it did not read.
        if (progress == fifo_packet_writer::Progress::readerGone)
        {
            fd.reset();
            return Sent::readerLeft;
        }

        // Full. A packet not yet begun waits until its deadline; one begun waits for as long
        // as its reader stays.
        if (stopping || (written == 0 && Clock::now() >= deadline))
        {
            fd.reset();
            return Sent::notTaken;
        }

        waitForRoom (written == 0 ? std::min (deadline, Clock::now() + kLongestWaitForRoom) : Clock::now() + kLongestWaitForRoom);
    }
}

ReplyWriter::Sent ReplyWriter::openBefore (Clock::time_point deadline, unsigned client)
{
    for (;;)
    {
        if (openNow())
            return Sent::written;

        // No reader, and its client has left the request FIFO: it has gone. The next reader
        // to come would be another client.
        if (errno == ENXIO && client < departedClients)
            return Sent::clientGone;

        // ENXIO: no reader yet; ENOENT: missing, perhaps being made again. Either may change
        // before the deadline.
        if ((errno != ENXIO && errno != ENOENT) || stopping || Clock::now() >= deadline)
            return Sent::notTaken;

        pause (std::min (deadline, Clock::now() + kOpenRetryInterval));
    }
}

bool ReplyWriter::openNow()
{
    fd = fifo_packet_writer::openNow (path);

    if (!fd.isValid())
        return false;

    lostReaderBound = 0;
    return true;
}

void ReplyWriter::pause (Clock::time_point until)
{
    // close() and clientLeft() end the pause through the wake pipe.
    pollfd wake{wakePipe.readFd(), POLLIN, 0};

    if (::poll (&wake, 1, millisecondsUntil (until)) > 0)
        wakePipe.drain();
}

void ReplyWriter::waitForRoom (Clock::time_point until)
{
    // A reader that left makes the FIFO report an error, which the next write turns into
    // EPIPE; close() wakes the wait through the wake pipe.
    pollfd fds[2] = {{fd.get(), POLLOUT, 0}, {wakePipe.readFd(), POLLIN, 0}};

    if (::poll (fds, 2, millisecondsUntil (until)) > 0 && fds[1].revents != 0)
        wakePipe.drain();
}
