#include "PumpFloorServer.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "PacketBuilder.h"

namespace
{
// Timer callbacks are plain functions; there is one floor server at a time.
PumpFloorServer* activeServer = nullptr;
} // namespace

PumpFloorServer::PumpFloorServer (reaper_host::TimerRegistry& timers, const std::string& pipeName, std::string replyPayload)
    : registry (timers)
    , inPath ("/tmp/" + pipeName + "_in")
    , outPath ("/tmp/" + pipeName + "_out")
    , replyPacket (buildPacket (pipe_contract::kPacketMagic, replyPayload.data(), replyPayload.size()))
    , framer (pipe_contract::kPacketMagic)
{
    ::unlink (inPath.c_str());
    ::unlink (outPath.c_str());

    if (::mkfifo (inPath.c_str(), 0600) != 0 || ::mkfifo (outPath.c_str(), 0600) != 0)
        return;

    requestFd = ::open (inPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    activeServer = this;
    registry.add (&timerCallback);
}

PumpFloorServer::~PumpFloorServer()
{
    registry.remove (&timerCallback);

    if (activeServer == this)
        activeServer = nullptr;

    if (requestFd >= 0)
        ::close (requestFd);

    if (replyFd >= 0)
        ::close (replyFd);

    ::unlink (inPath.c_str());
    ::unlink (outPath.c_str());
}

void PumpFloorServer::timerCallback()
{
    if (activeServer != nullptr)
        activeServer->serve();
}

void PumpFloorServer::serve()
{
    char buffer[65536];

    for (;;)
    {
        const auto bytesRead = ::read (requestFd, buffer, sizeof (buffer));

        if (bytesRead <= 0)
            break;

        framer.feed (buffer, static_cast<std::size_t> (bytesRead));
    }

    PacketFramer::Event event;

    while (framer.nextEvent (event))
        if (event.kind == PacketFramer::Event::Kind::payload && writeReply())
            ++replies;
}

bool PumpFloorServer::writeReply()
{
    if (replyFd < 0)
        replyFd = ::open (outPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);

    if (replyFd < 0)
        return false;

    std::size_t written = 0;

    // A full FIFO: wait for room, a little at a time.
    while (const auto stoppedBy = fd_transfer::writeAll (replyFd, replyPacket.data(), replyPacket.size(), written))
    {
        if (stoppedBy != EAGAIN)
            return false;

        pollfd pfd{replyFd, POLLOUT, 0};
        ::poll (&pfd, 1, 100);
    }

    return true;
}
