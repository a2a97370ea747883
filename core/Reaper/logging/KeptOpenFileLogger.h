#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <juce_core/juce_core.h>

#include "logging/LogFileAppender.h"
#include "logging/RepeatedLineSummary.h"

// The bridge's log file: JUCE's file logger (trimmed at start, then its start banner), except
// that every line
// - is one line: control characters in it are escaped (LogLineEscaping);
// - is appended through one descriptor kept open, which is made again when the file is
//   removed or renamed, and the file kept within a bound (LogFileAppender);
// - repeated in a run past a threshold is counted instead of written (RepeatedLineSummary);
//   a count is written at the latest kSummaryDelay after the first line it counts, and when
//   the logger goes.
class KeptOpenFileLogger : public juce::FileLogger
{
public:
    static constexpr auto kSummaryDelay = std::chrono::milliseconds (1000);

    KeptOpenFileLogger (const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialFileSizeBytes);
    KeptOpenFileLogger (const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialFileSizeBytes,
                        LogFileAppender::Limits limits, int repeatsWrittenInFull = RepeatedLineSummary::kRepeatsWrittenInFull);
    ~KeptOpenFileLogger() override;

    // The logger for the file that juce::FileLogger::createDefaultAppLogger would write.
    static std::unique_ptr<KeptOpenFileLogger> createDefaultAppLogger (const juce::String& logFileSubDirectoryName,
                                                                       const juce::String& logFileName,
                                                                       const juce::String& welcomeMessage,
                                                                       juce::int64 maxInitialFileSizeBytes);

    // The start banner JUCE's file logger writes, as whole lines.
    static std::string startBanner (const juce::String& welcomeMessage);

    void logMessage (const juce::String& message) override;

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
