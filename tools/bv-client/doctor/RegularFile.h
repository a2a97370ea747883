#pragma once

#include <cstdint>
#include <string>

#include "UniqueFd.h"

// The doctor reads files that anyone may have put in the way: a FIFO named like the module
// would block an open or a read for ever, and a log that is a link to /dev/zero would be
// read until memory runs out. So it opens only regular files (a symbolic link to one is
// followed), never blocking, and reads a bounded amount of each.
namespace regular_file
{
struct Opened
{
    enum class Status
    {
        open,
        missing,    // nothing at the path (or a dangling link)
        notRegular, // problem names what is there: "is a FIFO, not a regular file"
        failed      // problem names the error
    };

    Status status = Status::failed;
    UniqueFd fd;
    std::uint64_t size = 0;
    std::string problem;

    bool isOpen() const
    {
        return status == Status::open;
    }
};

// Opens the file for reading only when it is a regular file, checked before the open and
// again on the descriptor.
Opened open (const std::string& path);

// Up to count bytes of an opened file from offset, no further than its size at the open;
// fewer if a read fails, none if the file is not open or offset is at or past that size.
std::string readAt (const Opened& opened, std::uint64_t offset, std::uint64_t count);

// At most maxBytes of the file: all of it, or its last maxBytes when it is larger. cut says
// whether the start was left out.
struct Tail
{
    Opened::Status status = Opened::Status::failed;
    std::string bytes;
    bool cut = false;
    std::string problem;
};

Tail readTail (const std::string& path, std::uint64_t maxBytes);

} // namespace regular_file
