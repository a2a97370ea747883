#include "FdTransfer.h"

#include <cerrno>

#include <sys/uio.h>
#include <unistd.h>

namespace fd_transfer
{
namespace
{
// Calls readSome (into, count, alreadyRead) until size bytes are in.
template <typename ReadSome>
std::size_t readLoop (void* data, std::size_t size, ReadSome readSome)
{
    auto* bytes = static_cast<char*> (data);
    std::size_t got = 0;

    while (got < size)
    {
        const auto result = readSome (bytes + got, size - got, got);

        if (result > 0)
            got += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            break;
    }

    return got;
}
} // namespace

int writeAll (int fd, const void* data, std::size_t size, std::size_t& written)
{
    return writeAll (fd, data, size, nullptr, 0, written);
}

int writeAll (int fd, const void* first, std::size_t firstSize, const void* second, std::size_t secondSize, std::size_t& written)
{
    const auto size = firstSize + secondSize;

    while (written < size)
    {
        iovec parts[2] = {};
        int count = 0;

        if (written < firstSize)
            parts[count++] = {const_cast<char*> (static_cast<const char*> (first)) + written, firstSize - written};

        const auto intoSecond = written > firstSize ? written - firstSize : 0;

        if (intoSecond < secondSize)
            parts[count++] = {const_cast<char*> (static_cast<const char*> (second)) + intoSecond, secondSize - intoSecond};

        const auto result = ::writev (fd, parts, count);

        if (result > 0)
            written += static_cast<std::size_t> (result);
        else if (result < 0 && errno != EINTR)
            return errno;
        else if (result == 0)
            return EIO;
    }

    return 0;
}

std::size_t readAll (int fd, void* data, std::size_t size)
{
    return readLoop (data, size, [fd] (char* into, std::size_t count, std::size_t)
                     { return ::read (fd, into, count); });
}

std::size_t readAllAt (int fd, void* data, std::size_t size, off_t offset)
{
    return readLoop (data, size, [fd, offset] (char* into, std::size_t count, std::size_t got)
                     { return ::pread (fd, into, count, offset + static_cast<off_t> (got)); });
}
} // namespace fd_transfer
