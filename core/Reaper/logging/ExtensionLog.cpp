#include "logging/ExtensionLog.h"

#include <vector>

#include <unistd.h>

#include "LogTexts.h"
#include "logging/LogText.h"

ExtensionLog::ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes)
    : ExtensionLog (path, welcomeMessage, maxInitialFileSizeBytes, LogFileAppender::Limits{})
{
}

ExtensionLog::ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes,
                            LogFileAppender::Limits limits, int repeatsWrittenInFull)
    : startedAt (log_text::bannerTimeNow())
    , file (path, startBanner (welcomeMessage, startedAt), maxInitialFileSizeBytes,
            [&]
            {
                limits.keptWhenTrimmed = maxInitialFileSizeBytes > 0 ? maxInitialFileSizeBytes : limits.keptWhenTrimmed;
                return limits;
            }())
    , repeats (repeatsWrittenInFull)
{
    file.setHeadLine ([this]
                      { return headLine(); });
}

ExtensionLog::~ExtensionLog()
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

std::string ExtensionLog::startBanner (const std::string& welcomeMessage, const std::string& startTime)
{
    return "\r\n**********************************************************\r\n" + welcomeMessage + "\r\n" + log_texts::kStarted
           + startTime + "\r\n\r\n";
}

void ExtensionLog::setPipeStatus (std::function<std::string()> status)
{
    const std::lock_guard<std::mutex> guard (lock);
    pipeStatus = std::move (status);
}

std::string ExtensionLog::headLine() const
{
    // Called by the appender with the lock held.
    return log_texts::kHeadStarted + startedAt + log_texts::kHeadInProcess + std::to_string (static_cast<long> (::getpid())) + log_texts::kHeadTrimmed
           + (pipeStatus ? log_texts::kHeadStateSeparator + pipeStatus() : std::string());
}

void ExtensionLog::logMessage (const std::string& message)
{
    const std::lock_guard<std::mutex> guard (lock);

    log_line::escape (message.c_str(), escaped, kLongestMessage);

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

void ExtensionLog::writeLines (const std::vector<std::string>& lines)
{
    if (lines.empty())
        return;

    // One write for all, so lines from elsewhere never land inside ours (O_APPEND).
    pending.clear();

    for (const auto& text : lines)
        pending.append (text).append ("\r\n");

    file.append (pending);
}

void ExtensionLog::flushSummariesWhenDue()
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
