// Windows: a program started from a console or with its output in a file has a standard
// error to write to; REAPER, a windowed program, usually has none. A file or a console takes
// a write at once. A pipe is not written: Windows cannot say whether it has room, and a write
// into a pipe nobody reads would wait for good.

#include "logging/StandardError.h"

#include <algorithm>

#include <windows.h>

namespace standard_error
{
std::size_t writeWithoutWaiting (const char* data, std::size_t size)
{
    const auto handle = ::GetStdHandle (STD_ERROR_HANDLE);

    if (size == 0 || handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return 0;

    const auto type = ::GetFileType (handle);

    if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR)
        return 0;

    std::size_t written = 0;

    while (written < size)
    {
        DWORD took = 0;
        const auto piece = static_cast<DWORD> (std::min<std::size_t> (size - written, 1u << 20));

        if (::WriteFile (handle, data + written, piece, &took, nullptr) == 0 || took == 0)
            break;

        written += took;
    }

    return written;
}
} // namespace standard_error
