#pragma once

#include <cstddef>

#include <sys/types.h>

// Writing or reading a whole buffer through a descriptor, as one call of write or read may
// take or give only part of it. Each caller keeps what it does when the descriptor stops
// taking bytes (waits, gives up, reopens) and whether SIGPIPE is suppressed around it.
namespace fd_transfer
{
// Writes bytes [written, size) of data into fd, again after a signal, adding to `written`
// what each write takes. 0 once all is written; else why it stopped: the failed write's errno
// (EAGAIN: a non-blocking descriptor has no room now; EPIPE: a pipe's reader left), or EIO
// for a write that took nothing.
int writeAll (int fd, const void* data, std::size_t size, std::size_t& written);

// The same for two blocks written one after the other (a packet's header, then its payload),
// both in each call, so that a packet of at most PIPE_BUF bytes stays one atomic write into a
// pipe. `written` counts from the start of the first block.
int writeAll (int fd, const void* first, std::size_t firstSize, const void* second, std::size_t secondSize, std::size_t& written);

// Reads size bytes into data, again after a signal; stops early at the end of the file or
// on a failed read. How many bytes it read.
std::size_t readAll (int fd, void* data, std::size_t size);

// The same from the file's offset, leaving its position as it was (pread).
std::size_t readAllAt (int fd, void* data, std::size_t size, off_t offset);
} // namespace fd_transfer
