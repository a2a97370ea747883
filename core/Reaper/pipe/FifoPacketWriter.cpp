#include "pipe/FifoPacketWriter.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

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
    const auto size = packet.headerSize + packet.payloadSize;

    while (written < size)
    {
        // Both blocks in one call, so that a packet of at most PIPE_BUF bytes stays one
        // atomic write.
        iovec parts[2] = {};
        int count = 0;

        if (written < packet.headerSize)
            parts[count++] = {const_cast<char*> (static_cast<const char*> (packet.header)) + written, packet.headerSize - written};

        const auto intoPayload = written > packet.headerSize ? written - packet.headerSize : 0;

        if (intoPayload < packet.payloadSize)
            parts[count++] = {const_cast<char*> (static_cast<const char*> (packet.payload)) + intoPayload, packet.payloadSize - intoPayload};

        const auto result = ::writev (fd, parts, count);

        if (result > 0)
        {
            written += static_cast<std::size_t> (result);
            continue;
        }

        if (result < 0 && errno == EINTR)
            continue;

        if (result < 0 && errno == EAGAIN)
            return Progress::full;

        // EPIPE: the reader left. Anything else: the FIFO is unusable.
        return Progress::readerGone;
    }

    return Progress::done;
}
} // namespace fifo_packet_writer
