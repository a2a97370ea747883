#pragma once

#include <cstddef>

#include <string>

#include "pipe/UniqueFd.h"

// Writing one whole packet into the reply FIFO within a deadline, without ever blocking past
// it and without SIGPIPE reaching the process.
namespace fifo_packet_writer
{
// Opens the FIFO for writing (retrying every 2 ms while it has no reader or is missing),
// writes every byte (waiting for room while it is full), and closes it again. True only when
// every byte was written before timeoutMs ran out.
bool writeWhole (const std::string& path, const void* data, std::size_t size, int timeoutMs);

// The FIFO opened for writing, non-blocking, retrying every 2 ms while it has no reader or is
// missing; invalid when that lasts longer than timeoutMs or the path is unsafe.
UniqueFd openForWriting (const std::string& path, int timeoutMs);

// Writes every byte into a FIFO opened by openForWriting, waiting for room while it is
// full. True only when every byte was written before timeoutMs ran out.
bool writeWhole (int fd, const void* data, std::size_t size, int timeoutMs);
} // namespace fifo_packet_writer
