#include "pipe/FifoPacketWriter.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "SigPipeSuppressor.h"
#include "pipe/FifoFile.h"

namespace fifo_packet_writer
{
UniqueFd openNow (const std::string& path)
{
    return fifo_file::open (path, O_WRONLY | O_NONBLOCK);
}

bool hasNoReader (const std::string& path)
{
    const auto probe = openNow (path);
    return !probe.isValid() && errno == ENXIO;
}

std::size_t drain (const std::string& path, UniqueFd& writeEnd)
{
    // The read end first: while it is open, what the FIFO holds is kept for it to read.
    const auto readEnd = fifo_file::open (path, O_RDONLY | O_NONBLOCK);
    writeEnd.reset();
    std::size_t drained = 0;
    char buffer[4096];

    while (readEnd.isValid())
    {
        const auto got = ::read (readEnd.get(), buffer, sizeof (buffer));

        if (got > 0)
            drained += static_cast<std::size_t> (got);
        else if (!(got < 0 && errno == EINTR))
            break;
    }

    return drained;
}

Progress writeAvailable (int fd, const Packet& packet, std::size_t& written)
{
    if (fd < 0)
        return Progress::readerGone;

    const SigPipeSuppressor noSigPipe (fd);
    const auto stoppedBy = fd_transfer::writeAll (fd, packet.header, packet.headerSize, packet.payload, packet.payloadSize, written);

    if (stoppedBy == 0)
        return Progress::done;

    if (stoppedBy == EAGAIN)
        return Progress::full;

    // EPIPE: the reader left. Anything else: the FIFO is unusable.
    return Progress::readerGone;
}
} // namespace fifo_packet_writer
