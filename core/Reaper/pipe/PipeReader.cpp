#include "pipe/PipeReader.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "LogTexts.h"
#include "Platform.h"
#include "logging/Log.h"

PipeReader::PipeReader (int fileDescriptor, std::uint32_t magic, Callbacks callbacksToUse)
    : fd (fileDescriptor)
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
    return !callbacks.hasRoom || callbacks.hasRoom (framer.partialPayloadBytes());
}

void PipeReader::run()
{
    platform::setCurrentThreadName ("JUCE IPC");

    if (callbacks.holdOpen)
    {
        writeHold = callbacks.holdOpen();

        if (!writeHold.isValid())
        {
            reportFailure();
            return;
        }
    }

    // An idle pipe is normal and never ends the connection; stop() and waker() wake the poll
    // through the wake pipe. While there is no room for more packets, only the wake pipe is
    // watched. In the middle of a packet, the poll ends when it would count as stalled.
    while (!stopRequested)
    {
        const bool reading = mayRead();

        if (!reading)
            quietSince = std::chrono::steady_clock::now();

        const auto timeoutMs = reading ? msUntilStalled() : -1;
        pollfd fds[2] = {{reading ? fd : -1, POLLIN, 0}, {wakePipe->readFd(), POLLIN, 0}};
        const auto ready = ::poll (fds, 2, timeoutMs);

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
            if (ready == 0 && msUntilStalled() == 0)
                packetStalled();

            continue;
        }

        // A client has written (or has come and gone): from now on the FIFO's end-of-file
        // tells when it leaves.
        writeHold.reset();

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
            quietSince = std::chrono::steady_clock::now();
            framer.feed (readBuffer.data(), static_cast<std::size_t> (bytesRead));
            return true;
        }

        if (bytesRead < 0 && errno == EINTR)
            continue;

        if (bytesRead < 0 && errno == EAGAIN)
            return true;

        if (bytesRead == 0)
            return writersLeft();

        return false;
    }
}

int PipeReader::msUntilStalled()
{
    if (!framer.isMidPacket() || framer.isStalled())
        return -1;

    const auto left = quietSince + std::chrono::milliseconds (kStallTimeMs) - std::chrono::steady_clock::now();
    return static_cast<int> (std::max<std::chrono::milliseconds::rep> (0, std::chrono::ceil<std::chrono::milliseconds> (left).count()));
}

void PipeReader::packetStalled()
{
    const auto progress = framer.progress();
    const auto waitedFor = progress.announced > 0 ? std::to_string (PacketFramer::kHeaderSize + progress.announced - progress.read)
                                                        + " more bytes of a packet of " + std::to_string (progress.announced) + " bytes"
                                                  : std::to_string (PacketFramer::kHeaderSize - progress.read) + " more bytes of a packet's header";
    logging::writeToLog (log_texts::kPacketStalled + std::to_string (kStallTimeMs / 1000) + " s for " + waitedFor + log_texts::kPacketStalledEnd);
    framer.markStalled();
    deliverEvents();
}

bool PipeReader::writersLeft()
{
    // Without a hold of its own, end-of-file means the descriptor no longer is what it was.
    if (!callbacks.holdOpen)
        return false;

    // Every whole packet read before was handed on after its read; what is left of a packet
    // in part can never be finished by the client that left.
    if (framer.isMidPacket())
        logging::writeToLog (log_texts::incompletePacketDropped (static_cast<std::int64_t> (framer.dropPartialPacket()), log_texts::kDroppedClientLeft));

    if (callbacks.clientLeft)
        callbacks.clientLeft();

    writeHold = callbacks.holdOpen();
    return writeHold.isValid();
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
            logging::writeToLog (log_texts::oversizeSkipped (event.announcedSize, PacketFramer::kMaxRequestSize));
            continue;
        }

        if (event.kind == PacketFramer::Event::Kind::stalledDropped)
        {
            logging::writeToLog (log_texts::incompletePacketDropped (event.droppedSize, log_texts::kDroppedAfterStall));
            continue;
        }

        if (callbacks.packetReceived)
            callbacks.packetReceived (std::move (event.payload));

        event.payload = {};
    }
}
