#pragma once

#include <cstdint>
#include <string>

// Reads the extension's log for what its last start did, by the texts the extension writes it
// with (LogTexts.h). It is read as lines (CR LF or LF) and tolerates lines it does not know.
//
// - A start line begins a start: the banner each start writes, "Log started: <time>", or the
//   head line a cut leaves, "Log started <time> in process <id>, trimmed since; <pipe state>",
//   which says when this REAPER's log started and how the pipe is, the lines before it being
//   gone. That state decides as the lines below do: served (serving), served by another or
//   lock refused (waiting: the doctor tells the two apart by the lock file), FIFOs refused or
//   lost (no pipe), stopped (quit).
// - A log without a start line but with a "Log trimmed to its last <n> bytes" line was cut
//   since its start: all its lines count as that start's, whose start line is gone.
// - After a start line: "pipe created" or "pipe re-created" (serving), "Pipe not created:
//   <why>" (no pipe), "Pipe served by another REAPER (process N)" (waiting), and "Deleting
//   Instance" when REAPER unloads the extension.
// - Every REAPER with the extension writes into the one log, so a second REAPER's start
//   follows the first's and says it waits. When the last start waits, the state is the one
//   of the latest start before it that does not wait (that REAPER serves), and the waiting
//   start is named beside it.
namespace log_check
{
// The log is cut back whenever it has grown by 1 MiB since a REAPER opened it (to its last
// 128 KiB): each REAPER writing into it can add that much. The doctor reads no more than its
// last this many bytes, whatever the file's size.
constexpr std::uint64_t kMostBytesRead = 4 * 1024 * 1024;

struct Verdict
{
    enum class State
    {
        serving, // the start made the pipe and is not over
        quit,    // the start made the pipe, then REAPER unloaded the extension
        noPipe,  // the start could not make the pipe
        waiting, // the start waits for another REAPER, whose start is no longer in the log
        noStart, // the log holds no start
        unknown  // the start says none of these: detail quotes its last line
    };

    State state = State::noStart;
    std::string started;  // the start line; empty when a trim took it
    std::string detail;   // the line that decided it
    bool trimmed = false; // the start's banner is gone: the log was cut since

    // When a later REAPER waits for the one that serves: its start line and what it said.
    std::string waitingStarted;
    std::string waitingDetail;

    // The last line saying a request stopped in the middle ("Waiting 2 s for ... without
    // finishing it"), unless a line after it says a packet was dropped or the pipe was made.
    std::string stalledPacket;
};

Verdict readLog (const std::string& text);
} // namespace log_check
