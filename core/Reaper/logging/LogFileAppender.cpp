#include "logging/LogFileAppender.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "LogTexts.h"
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
    if (reopen (true))
    {
        trimAtStart (keptAtStart);
        writeSome (banner.data(), banner.size());
        sizeLimit = size + limits.growthAllowed;
    }

    // A refusal noticed at the open is said after the banner.
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

void LogFileAppender::makeFolderOf (const std::string& filePath)
{
    LogFile::makeFolderOf (filePath);
}

std::string LogFileAppender::trimmedNotice (std::int64_t keptBytes)
{
    return log_texts::kTrimmed + std::to_string (keptBytes) + " bytes\r\n";
}

std::string LogFileAppender::lostNotice (long long lines)
{
    return "Log file could not be written: " + std::to_string (lines) + " lines were lost\r\n";
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

        if (outcome == Open::refused)
            refusal += "\r\nLog file not used: " + besideRefusal;
    }

    refusedEverywhere = outcome == Open::refused;

    if (!refusal.empty() && refusal != lastRefusal)
    {
        const auto notice = "Log file not used: " + refusal + "\r\n";
        keep (notice.data(), notice.size());
    }

    lastRefusal = refusal;

    const auto openedSize = outcome == Open::opened ? opened.size() : -1;

    if (openedSize < 0)
        return false;

    if (opened.identity() != identity)
    {
        // Another file: a line cut short belongs to the old one, and is lost with it.
        if (restOfCutLine > 0)
        {
            kept.erase (0, restOfCutLine);
            restOfCutLine = 0;
            ++droppedLines;
        }

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

    if (created && !atStart)
        writeSome (banner.data(), banner.size());

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
    const auto cut = firstLineEnd (kept, kept.size() - limits.keptWhileUnwritable - 1);
    droppedLines += std::count (kept.begin(), kept.begin() + static_cast<std::ptrdiff_t> (cut), '\n');

    // The line the file holds the start of can no longer be finished: it is ended as it is.
    if (restOfCutLine > 0)
    {
        restOfCutLine = 0;
        fileEndsMidLine = true;
    }

    kept.erase (0, cut);
}

void LogFileAppender::pendingToStandardError()
{
    // Nowhere else to go: standard error, where log lines go when there is no log file, as
    // far as it takes them at once. The lines it cannot take are lost and counted; a line
    // it took only the start of is ended before the next.
    auto lines = std::string (standardErrorEndsMidLine ? "\r\n" : "") + (droppedLines > 0 ? lostNotice (droppedLines) : "");
    const auto notices = lines.size();
    lines += kept;

    const auto written = standard_error::writeWithoutWaiting (lines.data(), lines.size());
    const auto lostFrom = lines.begin() + static_cast<std::ptrdiff_t> (std::max (written, notices));
    droppedLines = (written < notices ? droppedLines : 0) + std::count (lostFrom, lines.end(), '\n');

    if (written > 0)
        standardErrorEndsMidLine = lines[written - 1] != '\n';

    kept.clear();
    restOfCutLine = 0;
}
