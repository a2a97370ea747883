#include "logging/LogFileAppender.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "LogTexts.h"
#include "logging/LogText.h"
#include "logging/StandardError.h"

namespace
{
std::size_t firstLineEnd (const std::string& text, std::size_t from)
{
    const auto lineEnd = text.find ('\n', from);
    return lineEnd == std::string::npos ? text.size() : lineEnd + 1;
}
} // namespace

LogFileAppender::LogFileAppender (std::string pathToUse, std::string bannerText, std::int64_t keptAtStart, Limits limitsToUse)
    : path (std::move (pathToUse))
    , banner (std::move (bannerText))
    , limits (limitsToUse)
    , target (path)
{
    // The banner waits like any line, before a refusal noticed at the open: on a full disk
    // its lines are counted when lost.
    if (reopen (true))
    {
        trimAtStart (keptAtStart);
        keepBannerFirst();
        sizeLimit = size + static_cast<std::int64_t> (banner.size()) + limits.growthAllowed;
    }

    if (!kept.empty() && fileIsCurrent())
        writePending();
    else if (refusedEverywhere)
        pendingToStandardError();
}

LogFileAppender::~LogFileAppender()
{
    if (!kept.empty() && !(fileIsCurrent() && writePending()))
        pendingToStandardError();
}

std::string LogFileAppender::trimmedNotice (std::int64_t keptBytes)
{
    return log_texts::kTrimmed + std::to_string (keptBytes) + " bytes\r\n";
}

std::string LogFileAppender::lostNotice (long long lines)
{
    return log_text::lostNotice (lines);
}

std::string LogFileAppender::besidePath (const std::string& logPath)
{
    return log_texts::besidePath (logPath);
}

void LogFileAppender::setHeadLine (std::function<std::string()> makeHeadLine)
{
    headLine = std::move (makeHeadLine);
}

void LogFileAppender::append (const std::string& lines)
{
    if (!fileIsCurrent())
    {
        keep (lines.data(), lines.size());

        if (refusedEverywhere)
            pendingToStandardError();

        return;
    }

    // Written now, after what waits: the bound applies only to what is still left then.
    kept += lines;

    if (writePending())
        trimIfGrown();
    else
        dropOldest();
}

LogFileAppender::Open LogFileAppender::openChecked (const std::string& at, LogFile& opened, bool& created, std::string& refusal)
{
    std::string notice;
    const auto outcome = opened.open (at, created, refusal, notice);
    keep (notice.data(), notice.size());
    return outcome;
}

bool LogFileAppender::fileIsCurrent()
{
    if (file.isOpen())
    {
        if (file.stillAt (target, size))
            return true;

        file.close();
    }

    return reopen (false);
}

bool LogFileAppender::reopen (bool atStart)
{
    LogFile opened;
    bool created = false;
    std::string refusal;
    auto at = path;
    auto outcome = openChecked (at, opened, created, refusal);

    if (outcome == Open::refused)
    {
        // Not the extension's to write or cut: a file of its own beside it instead.
        at = besidePath (path);
        std::string besideRefusal;
        outcome = openChecked (at, opened, created, besideRefusal);

        // Its folder refused, the same reason for both: said once.
        if (outcome == Open::refused && besideRefusal != refusal)
            refusal += "\r\n" + std::string (log_texts::kLogFileNotUsed) + besideRefusal;
    }

    refusedEverywhere = outcome == Open::refused;

    if (!refusal.empty() && refusal != lastRefusal)
    {
        const auto notice = log_texts::kLogFileNotUsed + refusal + "\r\n";
        keep (notice.data(), notice.size());
    }

    lastRefusal = refusal;

    const auto openedSize = outcome == Open::opened ? opened.size() : -1;

    if (openedSize < 0)
        return false;

    if (opened.identity() != identity)
    {
        // Another file: a line cut short belongs to the old one, and is lost with it.
        dropRestOfCutLine();
        fileEndsMidLine = false;
    }

    identity = opened.identity();
    file = std::move (opened);
    target = at;
    size = openedSize;

    // Not open at the start: the session's bound counts from the size the file had when
    // this appender first had it.
    if (sizeLimit < 0 && !atStart)
        sizeLimit = size + limits.growthAllowed;

    // Written by the caller, with what waits.
    if (created && !atStart)
        keepBannerFirst();

    return file.isOpen();
}

bool LogFileAppender::readTail (std::int64_t bytes, std::string& tail) const
{
    tail.assign (static_cast<std::size_t> (bytes), '\0');
    return file.readAt (size - bytes, tail.data(), tail.size());
}

void LogFileAppender::trimAtStart (std::int64_t keptAtStart)
{
    if (size <= std::max<std::int64_t> (keptAtStart, 0))
        return;

    std::string tail;

    if (keptAtStart > 0)
    {
        if (!readTail (keptAtStart, tail))
            return;

        // From the first line break on; a NUL before any line break means this is not a
        // text log, and it is left alone.
        const auto from = tail.find_first_of (std::string ("\r\n\0", 3));

        if (from == std::string::npos || tail[from] == '\0')
            return;

        tail.erase (0, from);
    }

    // In place, through the handle whose file was checked.
    if (!file.truncate())
        return;

    size = 0;
    writeSome (tail.data(), tail.size());
}

void LogFileAppender::trimIfGrown()
{
    if (sizeLimit < 0 || size <= sizeLimit)
        return;

    // One byte more than is kept, to see whether the tail starts a line. A tail that cannot
    // be read back (a file open for writing only) is not thrown away.
    const auto wanted = std::min (size, limits.keptWhenTrimmed + 1);
    std::string tail;

    if (!readTail (wanted, tail))
        return;

    const auto from = wanted == size ? 0 : firstLineEnd (tail, 0);

    if (!file.truncate())
        return;

    size = 0;

    // Whole lines only, after a line saying whose log this is; a failed write leaves the
    // rest waiting like any line.
    kept = (headLine ? headLine() + "\r\n" : std::string());
    kept.append (tail, from, std::string::npos);
    kept += trimmedNotice (limits.keptWhenTrimmed);
    writePending();
}

std::size_t LogFileAppender::writeSome (const char* data, std::size_t count)
{
    std::size_t written = 0;

    // A full disk or a failing device: the next write opens the file again.
    if (!file.append (data, count, written))
        file.close();

    size += static_cast<std::int64_t> (written);
    return written;
}

bool LogFileAppender::writePending()
{
    // First the rest of a line a failed write cut short.
    if (restOfCutLine > 0)
    {
        const auto written = writeSome (kept.data(), restOfCutLine);
        kept.erase (0, written);
        restOfCutLine -= written;

        if (restOfCutLine > 0)
            return false;
    }

    // Then, on a line of its own, how many lines were lost.
    if (fileEndsMidLine || droppedLines > 0)
    {
        const auto header = std::string (fileEndsMidLine ? "\r\n" : "") + (droppedLines > 0 ? lostNotice (droppedLines) : "");
        const auto written = writeSome (header.data(), header.size());

        if (written < header.size())
        {
            // Written again whole next time, after a line end if part of it is in the file.
            if (written > 0)
                fileEndsMidLine = header[written - 1] != '\n';

            return false;
        }

        fileEndsMidLine = false;
        droppedLines = 0;
    }

    const auto written = writeSome (kept.data(), kept.size());

    if (written < kept.size())
    {
        if (written > 0 && kept[written - 1] != '\n')
            restOfCutLine = firstLineEnd (kept, written) - written;

        kept.erase (0, written);
        return false;
    }

    kept.clear();
    return true;
}

void LogFileAppender::keepBannerFirst()
{
    // Before anything else, the count of lost lines too: as the rest of a cut line is.
    kept.insert (0, banner);
    restOfCutLine = banner.size();
}

void LogFileAppender::dropRestOfCutLine()
{
    droppedLines += std::count (kept.begin(), kept.begin() + static_cast<std::ptrdiff_t> (restOfCutLine), '\n');
    kept.erase (0, restOfCutLine);
    restOfCutLine = 0;
}

void LogFileAppender::keep (const char* data, std::size_t count)
{
    kept.append (data, count);
    dropOldest();
}

void LogFileAppender::dropOldest()
{
    if (kept.size() <= limits.keptWhileUnwritable)
        return;

    // The oldest lines go first, whole, and each is counted.
    droppedLines += log_text::dropOldestLines (kept, limits.keptWhileUnwritable);

    // The line the file holds the start of can no longer be finished: it is ended as it is.
    if (restOfCutLine > 0)
    {
        restOfCutLine = 0;
        fileEndsMidLine = true;
    }
}

void LogFileAppender::pendingToStandardError()
{
    // Nowhere else to go: standard error, where log lines go when there is no log file. A
    // line whose start is in the file is lost, not finished there: a line goes whole to one
    // place.
    if (restOfCutLine > 0)
    {
        dropRestOfCutLine();
        fileEndsMidLine = true;
    }

    standard_error::write ((droppedLines > 0 ? lostNotice (droppedLines) : std::string()) + kept);
    droppedLines = 0;
    kept.clear();
}
