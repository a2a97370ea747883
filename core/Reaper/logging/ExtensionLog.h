#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/Log.h"
#include "logging/LogFileAppender.h"
#include "logging/RepeatedLineSummary.h"

// The extension's log file. At start it is cut to its last maxInitialFileSizeBytes (from a
// line break on) and given a start banner; then every line
// - is one line: control characters in it are escaped (LogLineEscaping);
// - is appended through one descriptor kept open, which is made again when the file is
//   removed or renamed, and the file kept within a bound (LogFileAppender);
// - repeated in a run past a threshold is counted instead of written (RepeatedLineSummary);
//   a count is written at the latest kSummaryDelay after the first line it counts, and when
//   the log goes.
// Lines end in CR LF.
class ExtensionLog : public LogDestination
{
public:
    static constexpr auto kSummaryDelay = std::chrono::milliseconds (1000);

    ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes);
    ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes,
                  LogFileAppender::Limits limits, int repeatsWrittenInFull = RepeatedLineSummary::kRepeatsWrittenInFull);
    ~ExtensionLog() override;

    ExtensionLog (const ExtensionLog&) = delete;
    ExtensionLog& operator= (const ExtensionLog&) = delete;

    // The log file <the system's log folder>/<subFolder>/<fileName>.
    static std::string defaultPath (const std::string& subFolder, const std::string& fileName);

    // The start banner, as whole lines: a blank line, a row of stars, the welcome message
    // and "Log started: " with the local time, then a blank line.
    static std::string startBanner (const std::string& welcomeMessage);

    // Cuts the file to its last maxBytes, starting at the first line break of that tail
    // (which is kept); a file no larger is left alone, and maxBytes <= 0 deletes it.
    static void trimAtStart (const std::string& path, std::int64_t maxBytes);

    void logMessage (const std::string& message) override;

private:
    void writeLines (const std::vector<std::string>& lines);
    void flushSummariesWhenDue();

    std::mutex lock;
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
