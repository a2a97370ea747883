#pragma once

#include <cstddef>

#include <string>

#include "UniqueFd.h"

// Writing packets into the reply FIFO without ever waiting and without SIGPIPE reaching the
// process: the waiting is the caller's (ReplyWriter's thread).
namespace fifo_packet_writer
{
// The FIFO opened for writing, non-blocking, at once. Invalid when it has no reader (errno
// ENXIO), is missing (ENOENT) or the path is unsafe. [writer thread]
UniqueFd openNow (const std::string& path);

// True when the FIFO is known to have no reader at this moment (a non-blocking open for
// writing fails with ENXIO); false when it has one, or cannot be told. [any thread]
bool hasNoReader (const std::string& path);

// Reads and throws away what waits in the FIFO, through a read end of its own taken for the
// moment; `writeEnd`, if open, is closed meanwhile, so that nothing more of ours goes in.
// Only for a FIFO that no client reads: bytes it drains are lost to any reader. The number
// of bytes thrown away. [writer thread]
std::size_t drain (const std::string& path, UniqueFd& writeEnd);

enum class Progress
{
    done,      // every byte is written
    full,      // the FIFO has no room for the rest now
    readerGone // the reader left (EPIPE) or the FIFO failed: the rest can never be written
};

// One packet as it is written: its header, then its payload, in two blocks of their own.
struct Packet
{
    const void* header;
    std::size_t headerSize;
    const void* payload;
    std::size_t payloadSize;
};

// Writes as much of the packet's bytes from `written` on as the FIFO takes now, advancing `written`.
// A packet of at most PIPE_BUF bytes (4096 on Linux, only 512 on macOS) goes in with one
// atomic write or not at all; a longer one may go in part by part, and the caller finishes
// it. Nothing here depends on PIPE_BUF or on how much the FIFO holds (64 KiB on Linux, about
// 8 KiB on macOS): a reader never finds half a packet unless its writer stopped midway.
// [writer thread]
Progress writeAvailable (int fd, const Packet& packet, std::size_t& written);
} // namespace fifo_packet_writer
