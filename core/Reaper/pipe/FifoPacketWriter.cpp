#include "pipe/FifoPacketWriter.h"

#include <cerrno>

#include <fcntl.h>

#include "FdTransfer.h"
#include "SigPipeSuppressor.h"
#include "pipe/FifoFile.h"

namespace fifo_packet_writer
{
UniqueFd openNow (const std::string& path)
{
    return fifo_file::open (path, O_WRONLY | O_NONBLOCK);
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
