#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/Log.h"
#include "logging/LogFileAppender.h"
#include "logging/LogLineEscaping.h"
#include "logging/RepeatedLineSummary.h"

// The extension's log file. At start it is cut to its last maxInitialFileSizeBytes (from a
// line break on) and given a start banner; then every line
// - is one line: control characters in it are escaped (LogLineEscaping), and it is at most
//   kLongestMessage bytes, cut with a note of how much was left out, so that even with a
//   repeat count it stays within log_line::kMaxLineBytes;
// - is appended through one descriptor kept open, which is made again when the file is
//   removed or renamed, and the file kept within a bound (LogFileAppender); a file cut in
//   session begins with headLine(): when this log was started, by which process, and how
//   the pipe is (pipeStatus);
// - repeated in a run past a threshold is counted instead of written (RepeatedLineSummary);
//   a count is written at the latest kSummaryDelay after the first line it counts, and when
//   the log goes.
// Lines end in CR LF.
class ExtensionLog : public LogDestination
{
public:
    static constexpr auto kSummaryDelay = std::chrono::milliseconds (1000);
    static constexpr std::size_t kLongestMessage = log_line::kMaxLineBytes - RepeatedLineSummary::kLongestCountText;

    ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes);
    ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes,
                  LogFileAppender::Limits limits, int repeatsWrittenInFull = RepeatedLineSummary::kRepeatsWrittenInFull);
    ~ExtensionLog() override;

    ExtensionLog (const ExtensionLog&) = delete;
    ExtensionLog& operator= (const ExtensionLog&) = delete;

    // The start banner, as whole lines: a blank line, a row of stars, the welcome message
    // and "Log started: " with the local time as log_text::bannerTime shows it, then a
    // blank line. [any thread]
    static std::string startBanner (const std::string& welcomeMessage, const std::string& startTime);

    // What tells how the pipe is, in a few words ("pipe served"), for the head line. Called
    // with the log's lock held, on whichever thread writes the line that makes the file too
    // large: it must not log, block or take long. Set before the log is installed.
    // [one thread at a time]
    void setPipeStatus (std::function<std::string()> pipeStatus);

    // [any thread]
    void logMessage (const std::string& message) override;

private:
    // The first line of a file cut in session: "Log started <banner time> in process <id>,
    // trimmed since", then "; " and the pipe's status when one is set. With the lock held.
    std::string headLine() const;

    void writeLines (const std::vector<std::string>& lines);
    void flushSummariesWhenDue();

    std::mutex lock;
    const std::string startedAt;
    std::function<std::string()> pipeStatus;
    LogFileAppender file;
    RepeatedLineSummary repeats;
    std::string escaped;
    std::vector<std::string> toWrite;
    std::string pending;

    // Writes counted repetitions once they are kSummaryDelay old; started on first need.
    std::thread summaryWriter;
    std::condition_variable summaryDue;
    std::chrono::steady_clock::time_point heldBackSince;
    bool stopping = false;
};
