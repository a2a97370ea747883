#pragma once

#include <cstddef>
#include <cstdint>

// Standard error as it was when the log's writer thread started, written only while it is
// still that file. One implementation per system: StandardErrorPosix.cpp (descriptor 2's
// type, device and inode, through a copy above the standard streams), StandardErrorWindows.cpp
// (the process's standard error handle, and only a disk file or a console).
// Used by the writer thread alone.
class StandardErrorStream
{
public:
    // Records what standard error is now; closed then, nothing is ever written.
    StandardErrorStream();
    ~StandardErrorStream();

    StandardErrorStream (const StandardErrorStream&) = delete;
    StandardErrorStream& operator= (const StandardErrorStream&) = delete;

    // The most bytes one write carries whole, no other writer's text landing inside them.
    static std::size_t pieceBytes();

    // Writes the piece, waiting for room as long as it takes. How many bytes went out: none
    // once standard error is no longer the file it was.
    std::size_t writePiece (const char* data, std::size_t size);

private:
    // Our own copy of it, -1 when there is none.
    std::intptr_t copy = -1;
    // Which file it was: device, inode and type; on Windows the handle and its type.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t type = 0;
};
