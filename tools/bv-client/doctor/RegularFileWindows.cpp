// Windows: the same rule, through the C runtime's wide-character calls, so that a user folder
// with letters beyond ASCII works. There are no FIFOs to block a read; a folder or a device at
// the path is still refused.

#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "WideText.h"

namespace regular_file
{
Opened open (const std::string& path)
{
    Opened opened;
    struct _stat64 info;
    const auto wide = wide_text::fromUtf8 (path);

    if (::_wstat64 (wide.c_str(), &info) != 0)
    {
        opened.status = errno == ENOENT ? Opened::Status::missing : Opened::Status::failed;
        opened.problem = std::string ("cannot be examined: ") + std::strerror (errno);
        return opened;
    }

    if ((info.st_mode & _S_IFMT) != _S_IFREG)
    {
        opened.status = Opened::Status::notRegular;
        opened.problem = (info.st_mode & _S_IFMT) == _S_IFDIR ? "is a directory, not a regular file" : "is not a regular file";
        return opened;
    }

    UniqueFd fd (::_wopen (wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));

    if (!fd.isValid() || ::_fstat64 (fd.get(), &info) != 0)
    {
        opened.status = errno == ENOENT ? Opened::Status::missing : Opened::Status::failed;
        opened.problem = std::string ("cannot be read: ") + std::strerror (errno);
        return opened;
    }

    opened.status = Opened::Status::open;
    opened.fd = std::move (fd);
    opened.size = static_cast<std::uint64_t> (info.st_size);
    return opened;
}

std::string readAt (const Opened& opened, std::uint64_t offset, std::uint64_t count)
{
    if (!opened.isOpen() || offset >= opened.size || ::_lseeki64 (opened.fd.get(), static_cast<__int64> (offset), SEEK_SET) < 0)
        return {};

    std::string data (static_cast<std::size_t> (std::min (count, opened.size - offset)), '\0');
    std::size_t got = 0;

    while (got < data.size())
    {
        const auto chunk = static_cast<unsigned> (std::min<std::size_t> (data.size() - got, 1 << 30));
        const auto read = ::_read (opened.fd.get(), data.data() + got, chunk);

        if (read <= 0)
            break;

        got += static_cast<std::size_t> (read);
    }

    data.resize (got);
    return data;
}

Tail readTail (const std::string& path, std::uint64_t maxBytes)
{
    auto opened = open (path);
    Tail tail;
    tail.status = opened.status;
    tail.problem = opened.problem;

    if (!opened.isOpen())
        return tail;

    const auto count = opened.size < maxBytes ? opened.size : maxBytes;
    const auto from = opened.size - count;
    tail.cut = from > 0;
    tail.bytes = readAt (opened, from, count);
    return tail;
}
} // namespace regular_file
