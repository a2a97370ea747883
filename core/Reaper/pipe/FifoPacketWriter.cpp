#include "pipe/FifoPacketWriter.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "SigPipeSuppressor.h"
#include "pipe/FifoFile.h"

namespace fifo_packet_writer
{
UniqueFd openNow (const std::string& path)
{
    return fifo_file::open (path, O_WRONLY | O_NONBLOCK);
}

Progress writeAvailable (int fd, const void* data, std::size_t size, std::size_t& written)
{
    if (fd < 0)
        return Progress::readerGone;

    const SigPipeSuppressor noSigPipe (fd);
    auto* bytes = static_cast<const char*> (data);

    while (written < size)
    {
        const auto result = ::write (fd, bytes + written, size - written);

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
