#include "pipe/PipeReader.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "Platform.h"
#include "logging/Log.h"

PipeReader::PipeReader (int fileDescriptor, std::uint32_t magic, Callbacks callbacksToUse, int staleMs)
    : fd (fileDescriptor)
    , stalePartialPacketMs (staleMs)
    , framer (magic, PacketFramer::kMaxRequestSize)
    , callbacks (std::move (callbacksToUse))
    , readBuffer (kReadChunkSize)
{
}

PipeReader::~PipeReader()
{
    stop();

    if (thread.joinable())
        thread.join();
}

bool PipeReader::start()
{
    if (thread.joinable() || !wakePipe->open())
        return false;

    thread = std::thread ([this]
                          { run(); });
    return true;
}

void PipeReader::stop()
{
    stopRequested = true;

    if (!thread.joinable())
        return;

    wakePipe->wake();

    if (thread.get_id() != std::this_thread::get_id())
        thread.join();
}

bool PipeReader::isReaderThread() const
{
    return thread.get_id() == std::this_thread::get_id();
}

std::function<void()> PipeReader::waker() const
{
    return [pipe = wakePipe]
    { pipe->wake(); };
}

bool PipeReader::mayRead()
{
    const bool mayNow = !callbacks.hasRoom || callbacks.hasRoom (framer.partialPayloadBytes());

    // Time spent waiting for room is not the client's: a packet in part is judged stale only
    // by the time since reading resumed.
    if (mayNow && waitingForRoom)
        lastDataTime = std::chrono::steady_clock::now();

    waitingForRoom = !mayNow;
    return mayNow;
}

void PipeReader::run()
{
    platform::setCurrentThreadName ("JUCE IPC");

    // An idle pipe is normal and never ends the connection; stop() and waker() wake the poll
    // through the wake pipe. The poll only times out to drop a partial packet gone stale.
    // While there is no room for more packets, only the wake pipe is watched.
    while (!stopRequested)
    {
        const bool reading = mayRead();
        pollfd fds[2] = {{reading ? fd : -1, POLLIN, 0}, {wakePipe->readFd(), POLLIN, 0}};
        const auto ready = ::poll (fds, 2, reading ? pollTimeoutMs() : -1);

        if (ready < 0)
        {
            if (errno == EINTR)
                continue;

            reportFailure();
            break;
        }

        if (stopRequested)
            break;

        if (fds[1].revents != 0)
        {
            wakePipe->drain();
            continue;
        }

        if (fds[0].revents == 0)
        {
            dropStalePartialPacket();
            continue;
        }

        if (!readAvailable())
        {
            reportFailure();
            break;
        }

        deliverEvents();
    }
}

bool PipeReader::readAvailable()
{
    for (;;)
    {
        const auto bytesRead = ::read (fd, readBuffer.data(), readBuffer.size());

        if (bytesRead > 0)
        {
            lastDataTime = std::chrono::steady_clock::now();
            framer.feed (readBuffer.data(), static_cast<std::size_t> (bytesRead));
            return true;
        }

        if (bytesRead < 0 && errno == EINTR)
            continue;

        if (bytesRead < 0 && errno == EAGAIN)
            return true;

        // The FIFO is held open for writing by this process too, so end-of-file means the
        // descriptor no longer is what it was: treat it like any other failure.
        return false;
    }
}

int PipeReader::pollTimeoutMs() const
{
    if (!framer.isMidPacket())
        return -1;

    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - lastDataTime);
    return static_cast<int> (std::max<std::chrono::milliseconds::rep> (0, stalePartialPacketMs - idle.count()));
}

void PipeReader::dropStalePartialPacket()
{
    if (pollTimeoutMs() != 0)
        return;

    const auto dropped = framer.dropPartialPacket();
    logging::writeToLog ("Dropped an incomplete packet of " + std::to_string (dropped) + " bytes after "
                         + std::to_string (stalePartialPacketMs) + " ms without data");
}

void PipeReader::reportFailure()
{
    if (!stopRequested && callbacks.readFailed)
        callbacks.readFailed();
}

void PipeReader::deliverEvents()
{
    PacketFramer::Event event;

    while (!stopRequested && framer.nextEvent (event))
    {
        if (event.kind == PacketFramer::Event::Kind::oversizeSkipped)
        {
            logging::writeToLog ("Skipped a packet of " + std::to_string (event.announcedSize)
                                 + " bytes: larger than the limit of " + std::to_string (PacketFramer::kMaxRequestSize)
                                 + " bytes");
            continue;
        }

        if (callbacks.packetReceived)
            callbacks.packetReceived (std::move (event.payload));

        event.payload = {};
    }
}
