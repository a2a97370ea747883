#include "logging/KeptOpenFileLogger.h"

#include "logging/LogLineEscaping.h"

KeptOpenFileLogger::KeptOpenFileLogger (const juce::File& logFile, const juce::String& welcomeMessage,
                                        juce::int64 maxInitialFileSizeBytes)
    : KeptOpenFileLogger (logFile, welcomeMessage, maxInitialFileSizeBytes, LogFileAppender::Limits{})
{
}

KeptOpenFileLogger::KeptOpenFileLogger (const juce::File& logFile, const juce::String& welcomeMessage,
                                        juce::int64 maxInitialFileSizeBytes, LogFileAppender::Limits limits,
                                        int repeatsWrittenInFull)
    : juce::FileLogger (logFile, welcomeMessage, maxInitialFileSizeBytes)
    , file (logFile.getFullPathName().toStdString(), startBanner (welcomeMessage),
            [&]
            {
                limits.keptWhenTrimmed = maxInitialFileSizeBytes > 0 ? maxInitialFileSizeBytes : limits.keptWhenTrimmed;
                return limits;
            }())
    , repeats (repeatsWrittenInFull)
{
}

KeptOpenFileLogger::~KeptOpenFileLogger()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        stopping = true;
    }

    summaryDue.notify_all();

    if (summaryWriter.joinable())
        summaryWriter.join();

    // What was counted and not yet written goes out now.
    const std::lock_guard<std::mutex> guard (lock);
    toWrite.clear();
    repeats.flush (toWrite);
    writeLines (toWrite);
}

std::unique_ptr<KeptOpenFileLogger> KeptOpenFileLogger::createDefaultAppLogger (const juce::String& logFileSubDirectoryName,
                                                                                const juce::String& logFileName,
                                                                                const juce::String& welcomeMessage,
                                                                                juce::int64 maxInitialFileSizeBytes)
{
    const auto logFile = getSystemLogFileFolder().getChildFile (logFileSubDirectoryName).getChildFile (logFileName);
    return std::make_unique<KeptOpenFileLogger> (logFile, welcomeMessage, maxInitialFileSizeBytes);
}

std::string KeptOpenFileLogger::startBanner (const juce::String& welcomeMessage)
{
    juce::String banner;
    banner << juce::newLine << "**********************************************************" << juce::newLine
           << welcomeMessage << juce::newLine
           << "Log started: " << juce::Time::getCurrentTime().toString (true, true) << juce::newLine << juce::newLine;
    return banner.toStdString();
}

void KeptOpenFileLogger::logMessage (const juce::String& message)
{
    const std::lock_guard<std::mutex> guard (lock);

    log_line::escape (message.toRawUTF8(), escaped);

    const bool wasHoldingBack = repeats.holdsBack();
    toWrite.clear();
    repeats.add (escaped, toWrite);
    writeLines (toWrite);

    if (wasHoldingBack || !repeats.holdsBack())
        return;

    heldBackSince = std::chrono::steady_clock::now();

    if (!summaryWriter.joinable())
        summaryWriter = std::thread ([this]
                                     { flushSummariesWhenDue(); });
    else
        summaryDue.notify_one();
}

void KeptOpenFileLogger::writeLines (const std::vector<std::string>& lines)
{
    if (lines.empty())
        return;

    // One write for all, so lines from elsewhere never land inside ours (O_APPEND).
    pending.clear();

    for (const auto& text : lines)
        pending.append (text).append ("\r\n");

    file.append (pending);
}

void KeptOpenFileLogger::flushSummariesWhenDue()
{
    std::unique_lock<std::mutex> guard (lock);

    while (!stopping)
    {
        if (!repeats.holdsBack())
        {
            summaryDue.wait (guard);
            continue;
        }

        const auto due = heldBackSince + kSummaryDelay;

        if (std::chrono::steady_clock::now() < due)
        {
            summaryDue.wait_until (guard, due);
            continue;
        }

        toWrite.clear();
        repeats.flush (toWrite);
        writeLines (toWrite);
    }
}
