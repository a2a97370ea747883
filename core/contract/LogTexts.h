#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The extension's log as others read it, written once: where the log is, and the lines that
// tell how a start went, how the pipe is and what it did with what a client sent or left
// behind. The extension writes these texts from here and
// bv-client doctor reads the log by them, so that the two cannot drift apart.
namespace log_texts
{
// The log's folder (in the user's log folder) and its file.
constexpr const char* kLogFolderName = "Belvanta";
constexpr const char* kLogFileName = "Reaper.txt";

// The file of the extension's own it logs to instead when what is at a log's path is not
// its own plain file: "Reaper.txt" -> "Reaper.own.txt", a name without an ending gets ".own".
inline std::string besidePath (const std::string& logPath)
{
    const auto slash = logPath.rfind ('/');
    const auto dot = logPath.rfind ('.');

    if (dot == std::string::npos || (slash != std::string::npos && dot < slash + 2))
        return logPath + ".own";

    return logPath.substr (0, dot) + ".own" + logPath.substr (dot);
}

// What is refused on the way to the log, and why: "Log file not used: <path> <why>". When the
// log's folder is refused, that is the only file line, and the lines go to standard error.
constexpr const char* kLogFileNotUsed = "Log file not used: ";

// Each start's banner line: "Log started: <time>".
constexpr const char* kStarted = "Log started: ";

// The first line of a log cut while REAPER runs: "Log started <time> in process <id>,
// trimmed since", then "; " and one of the pipe's states below.
constexpr const char* kHeadStarted = "Log started ";
constexpr const char* kHeadInProcess = " in process ";
constexpr const char* kHeadTrimmed = ", trimmed since";
constexpr const char* kHeadStateSeparator = "; ";

// The last line of a log cut while REAPER runs: "Log trimmed to its last <n> bytes".
constexpr const char* kTrimmed = "Log trimmed to its last ";

// How the pipe went at a start, or since.
constexpr const char* kPipeCreated = "pipe created";
constexpr const char* kPipeRecreated = "pipe re-created";
constexpr const char* kPipeNotCreated = "Pipe not created: "; // then why, often "<lock or FIFO path> <why>"

// Another REAPER holds the serving lock: "Pipe served by another REAPER (process <id>)", the
// process left out when it is not known. Written once each time this one starts waiting.
constexpr const char* kServedByAnother = "Pipe served by another REAPER";

// A request that stops in the middle: "Waiting 2 s for <n> more bytes of a packet of <m> bytes"
// (or "of a packet's header") and the end below, once per packet that stays unfinished so long.
constexpr const char* kPacketStalled = "Waiting ";
constexpr const char* kPacketStalledEnd = ": a program holds the request FIFO open without finishing it";

// Part of a packet dropped: "Dropped an incomplete packet of <n> bytes: <why>", when its client
// left or when another packet began inside it after it stalled.
constexpr const char* kIncompletePacketDropped = "Dropped an incomplete packet of ";
constexpr const char* kDroppedClientLeft = "its client left";
constexpr const char* kDroppedAfterStall = "another packet began inside it after it stalled";

inline std::string incompletePacketDropped (std::int64_t bytes, const char* why)
{
    return kIncompletePacketDropped + std::to_string (bytes) + " bytes: " + why;
}

// A header announced more than a request may be, the packet skipped unread: "Skipped a packet
// of <n> bytes: larger than the limit of <limit> bytes".
inline std::string oversizeSkipped (std::int64_t announcedSize, std::int64_t limit)
{
    return "Skipped a packet of " + std::to_string (announcedSize) + " bytes: larger than the limit of " + std::to_string (limit)
           + " bytes";
}

// A client left with replies queued for it, which are dropped: "Dropped <n> queued replies:
// its client left" ("1 queued reply").
inline std::string queuedRepliesDropped (std::size_t count)
{
    return "Dropped " + std::to_string (count) + (count == 1 ? " queued reply" : " queued replies") + ": " + kDroppedClientLeft;
}

// REAPER unloads the extension.
constexpr const char* kDeletingInstance = "Deleting Instance";

// The pipe's state as the head line of a cut log gives it.
constexpr const char* kStateServed = "pipe served";
constexpr const char* kStateWaitingForLock = "pipe not served (another REAPER serves it, or its lock file is refused)";
constexpr const char* kStateFifosRefused = "pipe not served (its FIFOs are refused)";
constexpr const char* kStateLost = "pipe not served (lost; made again after a pause)";
constexpr const char* kStateStopped = "pipe not served (stopped)";
} // namespace log_texts
