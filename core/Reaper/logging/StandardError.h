#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// Standard error is where log lines go when there is no log file, and it belongs to the host:
// a launcher may have closed it, or handed it a terminal or a pipe nobody reads, and REAPER
// may put another file at its number later. So it is written only by a thread of its own,
// which may wait, never by the thread that logs:
// - lines wait in a queue of at most kQueuedBytes; the oldest that do not fit are lost, as
//   are lines a write could not carry, and a line counting them ("Log file could not be
//   written: <n> lines were lost") goes before the next lines written;
// - only the file that descriptor 2 was when the writer started (at load, or with the first
//   line) is written, through a copy of its own, and only while descriptor 2 is still that
//   file (type, device and inode); closed then, nothing is ever written there. On Windows,
//   the process's standard error handle, while it is still that handle, and only a file or a
//   console (StandardErrorStream.h);
// - in pieces of whole lines of at most PIPE_BUF bytes (a longer line in pieces of exactly
//   PIPE_BUF, its last excepted), each one write that a pipe takes whole or waits for, so no
//   other writer's text lands inside a piece;
// - SIGPIPE is blocked on the writer thread; the descriptor's flags, which the host shares,
//   are left as they are.
namespace standard_error
{
constexpr std::size_t kQueuedBytes = 65536;

// Starts the writer, which records what descriptor 2 is now; nothing when one runs. Called
// first in each load call, before the extension opens a descriptor. [main thread]
void start();

// Queues text of whole lines, each ending in "\n", and never waits. Starts the writer when
// none runs. [any thread]
void write (const std::string& lines);

// Ends the writer without waiting for it, in the entry call that leaves no bridge (an unload,
// a refused load): an idle writer ends now; one still writing or with lines queued is left to
// write them and end by itself, and the module stays mapped for it. [main thread]
void stop();

// Whether all that was queued has been written (or given up) within the limit. For tests and
// tools, never on REAPER's main thread. [any thread]
bool waitUntilWritten (std::chrono::milliseconds limit);
} // namespace standard_error
