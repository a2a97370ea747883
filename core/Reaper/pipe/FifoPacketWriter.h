#pragma once

#include <cstddef>

#include <string>

#include "pipe/UniqueFd.h"

// Writing packets into the reply FIFO without ever waiting and without SIGPIPE reaching the
// process: the waiting is the caller's (ReplyWriter's thread).
namespace fifo_packet_writer
{
// The FIFO opened for writing, non-blocking, at once. Invalid when it has no reader (errno
// ENXIO), is missing (ENOENT) or the path is unsafe.
UniqueFd openNow (const std::string& path);

enum class Progress
{
    done,      // every byte is written
    full,      // the FIFO has no room for the rest now
    readerGone // the reader left (EPIPE) or the FIFO failed: the rest can never be written
};

// Writes as much of the bytes from `written` on as the FIFO takes now, advancing `written`.
// A packet of at most PIPE_BUF (4096) bytes goes in with one atomic write or not at all, so
// a reader never finds half of one.
Progress writeAvailable (int fd, const void* data, std::size_t size, std::size_t& written);
} // namespace fifo_packet_writer
