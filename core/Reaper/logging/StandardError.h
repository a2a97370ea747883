#pragma once

#include <cstddef>

// Standard error is where log lines go when there is no log file, and it belongs to the host:
// a launcher may pipe it into a reader that never reads, or that has gone. Text is written
// to it only as far as it can take it at once, never waiting and never raising SIGPIPE, and
// without changing the descriptor's flags, which the host shares:
// - a regular file or a block device takes a write at once;
// - a socket is sent to with MSG_DONTWAIT;
// - a terminal is opened again by its name, non-blocking, as a descriptor of our own;
// - anything else (a pipe, a FIFO) is written in pieces of at most PIPE_BUF bytes, each only
//   once poll says there is room for it.
namespace standard_error
{
// How many bytes of the text went out: all of them, or fewer when standard error could not
// take the rest at once (or not at all). [any thread]
std::size_t writeWithoutWaiting (const char* data, std::size_t size);
} // namespace standard_error
