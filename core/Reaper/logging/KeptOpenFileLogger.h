#pragma once

#include <memory>
#include <mutex>

#include <juce_core/juce_core.h>

#include "pipe/UniqueFd.h"

// The bridge's log file: JUCE's file logger (trimmed at start, then its start banner), except
// that every line is appended through one descriptor kept open for the logger's life, so a
// line costs REAPER's main thread one write instead of an open, a seek, a write and a close.
class KeptOpenFileLogger : public juce::FileLogger
{
public:
    KeptOpenFileLogger (const juce::File& file, const juce::String& welcomeMessage, juce::int64 maxInitialFileSizeBytes);

    // The logger for the file that juce::FileLogger::createDefaultAppLogger would write.
    static std::unique_ptr<KeptOpenFileLogger> createDefaultAppLogger (const juce::String& logFileSubDirectoryName,
                                                                       const juce::String& logFileName,
                                                                       const juce::String& welcomeMessage,
                                                                       juce::int64 maxInitialFileSizeBytes);

    // Appends the message and CR LF in one write; through JUCE's own file logger if the file
    // could not be kept open.
    void logMessage (const juce::String& message) override;

private:
    std::mutex lock;
    UniqueFd fd;
    std::string line;
};
