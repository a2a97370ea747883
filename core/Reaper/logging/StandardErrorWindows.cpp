// Windows: a program started from a console or with its output in a file has a standard
// error to write to; REAPER, a windowed program, usually has none. Only a file or a console
// is written: a pipe is not, since nothing could tell whether anyone reads it. Written through
// a duplicate of the handle, and only while the process's standard error is still that handle.

#include "logging/StandardErrorStream.h"

#include <algorithm>

#include <windows.h>

namespace
{
HANDLE handleOf (std::intptr_t value)
{
    return reinterpret_cast<HANDLE> (value);
}
} // namespace

StandardErrorStream::StandardErrorStream()
{
    const auto handle = ::GetStdHandle (STD_ERROR_HANDLE);

    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;

    const auto kind = ::GetFileType (handle);
    HANDLE duplicate = nullptr;

    if ((kind != FILE_TYPE_DISK && kind != FILE_TYPE_CHAR)
        || ::DuplicateHandle (::GetCurrentProcess(), handle, ::GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS) == 0)
        return;

    copy = reinterpret_cast<std::intptr_t> (duplicate);
    device = static_cast<std::uint64_t> (reinterpret_cast<std::uintptr_t> (handle));
    type = kind;
}

StandardErrorStream::~StandardErrorStream()
{
    if (copy != -1)
        ::CloseHandle (handleOf (copy));
}

std::size_t StandardErrorStream::pieceBytes()
{
    // A file or a console takes a write whole.
    return 4096;
}

std::size_t StandardErrorStream::writePiece (const char* data, std::size_t size)
{
    if (copy == -1 || static_cast<std::uint64_t> (reinterpret_cast<std::uintptr_t> (::GetStdHandle (STD_ERROR_HANDLE))) != device)
        return 0;

    std::size_t done = 0;

    while (done < size)
    {
        DWORD took = 0;

        if (::WriteFile (handleOf (copy), data + done, static_cast<DWORD> (size - done), &took, nullptr) == 0 || took == 0)
            break;

        done += took;
    }

    return done;
}
