#include "logging/LogFileAppender.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FdTransfer.h"
#include "LogTexts.h"
#include "OwnFile.h"
#include "logging/LogText.h"
#include "logging/StandardError.h"

namespace
{
// O_NOFOLLOW: a symbolic link at the name, dangling or not, is refused, never followed.
// O_NONBLOCK: a FIFO planted at the name does not block the open (it is refused after it).
constexpr int kOpenFlags = O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

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

LogFileAppender::Open LogFileAppender::openFolder (const std::string& filePath, UniqueFd& folder, std::string& refusal)
{
    const auto slash = filePath.rfind ('/');
    const auto folderPath = slash == std::string::npos ? std::string (".") : slash == 0 ? std::string ("/")
                                                                                        : filePath.substr (0, slash);

    // O_NOFOLLOW: a symbolic link at the folder's name is refused, never followed.
    constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    folder.reset (aboveStandardStreams (::open (folderPath.c_str(), kFolderFlags)));

    // Missing: made, the log's own folder readable by others as the log always was, but never
    // inside another user's folder (their home, for REAPER run as root with their HOME).
    if (!folder.isValid() && errno == ENOENT)
    {
        if (const auto whyNot = own_file::makeFolders (folderPath, 0755); !whyNot.empty())
        {
            refusal = folderPath + " " + whyNot;
            return Open::refused;
        }

        folder.reset (aboveStandardStreams (::open (folderPath.c_str(), kFolderFlags)));
    }

    struct stat info;

    if (!folder.isValid())
    {
        // Anything else in the way (a file, a folder on the way missing) may go: tried again.
        const auto error = errno;

        if (!(error == ELOOP || (error == ENOTDIR && ::lstat (folderPath.c_str(), &info) == 0 && S_ISLNK (info.st_mode))))
            return Open::unwritable;

        refusal = folderPath + " is a symbolic link";
        return Open::refused;
    }

    if (::fstat (folder.get(), &info) != 0)
        return Open::unwritable;

    // Another user's folder is never used: its owner could swap the log for a link to a file
    // of their choosing, or read what was spotted.
    if (const auto whyNot = own_file::whyNotFolder (info); !whyNot.empty())
    {
        refusal = folderPath + " " + whyNot;
        folder.reset();
        return Open::refused;
    }

    // This user's folder that others may write in (made by an older version under a umask
    // that lets the group write): made this user's alone before anything is written in it.
    // What others may have put in it meanwhile is refused file by file.
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    {
        if (::fchmod (folder.get(), info.st_mode & 07777 & ~(S_IWGRP | S_IWOTH)) != 0)
        {
            refusal = folderPath + " is writable by others";
            folder.reset();
            return Open::refused;
        }

        const auto notice = "Log folder " + folderPath + " was writable by others: now only by its owner\r\n";
        keep (notice.data(), notice.size());
    }

    return Open::opened;
}

LogFileAppender::Open LogFileAppender::openChecked (const std::string& at, UniqueFd& opened, bool& created, std::string& refusal)
{
    created = false;

    UniqueFd folder;
    const auto folderOutcome = openFolder (at, folder, refusal);

    if (folderOutcome != Open::opened)
        return folderOutcome;

    // Opened inside the folder checked: the names on the way are not looked up again.
    const auto name = at.substr (at.rfind ('/') + 1);
    const auto openIn = [&] (int flags)
    { return aboveStandardStreams (::openat (folder.get(), name.c_str(), flags, 0644)); };

    // Read as well as written, so the file's tail can be read back when it is trimmed.
    opened.reset (openIn (O_RDWR | kOpenFlags));

    if (!opened.isValid() && errno == EACCES)
        opened.reset (openIn (O_WRONLY | kOpenFlags));

    if (!opened.isValid() && errno == ENOENT)
    {
        opened.reset (openIn (O_RDWR | O_CREAT | O_EXCL | kOpenFlags));
        created = opened.isValid();

        if (!opened.isValid() && errno == EEXIST)
            opened.reset (openIn (O_RDWR | kOpenFlags));
    }

    if (!opened.isValid())
    {
        const auto error = errno;
        struct stat there;

        if (error == ELOOP)
            refusal = at + " is a symbolic link";
        else if (error == EISDIR)
            refusal = at + " is a directory";
        else if (error == ENXIO)
            refusal = at + " exists and is not a regular file";
        else if ((error == EACCES || error == EPERM) && ::fstatat (folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0
                 && there.st_uid != ::geteuid())
            refusal = at + " is owned by another user";
        else
            return Open::unwritable; // a read-only folder, a full disk: tried again later

        return Open::refused;
    }

    struct stat info;

    if (::fstat (opened.get(), &info) != 0)
        return Open::unwritable;

    const auto whyNot = own_file::whyNot (info);

    if (whyNot.empty())
        return Open::opened;

    refusal = at + " " + whyNot;
    opened.reset();
    return Open::refused;
}

bool LogFileAppender::fileIsCurrent()
{
    if (fd.isValid())
    {
        // One lstat per write: the file at the name must still be the one written to.
        struct stat atPath;

        if (::lstat (target.c_str(), &atPath) == 0 && atPath.st_dev == device && atPath.st_ino == inode)
        {
            size = static_cast<std::int64_t> (atPath.st_size);
            return true;
        }

        fd.reset();
    }

    return reopen (false);
}

bool LogFileAppender::reopen (bool atStart)
{
    UniqueFd file;
    bool created = false;
    std::string refusal;
    auto at = path;
    auto outcome = openChecked (at, file, created, refusal);

    if (outcome == Open::refused)
    {
        // Not the extension's to write or cut: a file of its own beside it instead.
        at = besidePath (path);
        std::string besideRefusal;
        outcome = openChecked (at, file, created, besideRefusal);

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

    struct stat opened;

    if (outcome != Open::opened || ::fstat (file.get(), &opened) != 0)
        return false;

    if (opened.st_dev != device || opened.st_ino != inode)
    {
        // Another file: a line cut short belongs to the old one, and is lost with it.
        dropRestOfCutLine();
        fileEndsMidLine = false;
    }

    fd = std::move (file);
    target = at;
    device = opened.st_dev;
    inode = opened.st_ino;
    size = static_cast<std::int64_t> (opened.st_size);

    // Not open at the start: the session's bound counts from the size the file had when
    // this appender first had it.
    if (sizeLimit < 0 && !atStart)
        sizeLimit = size + limits.growthAllowed;

    // Written by the caller, with what waits.
    if (created && !atStart)
        keepBannerFirst();

    return fd.isValid();
}

bool LogFileAppender::readTail (std::int64_t bytes, std::string& tail) const
{
    tail.assign (static_cast<std::size_t> (bytes), '\0');
    return fd_transfer::readAllAt (fd.get(), tail.data(), tail.size(), static_cast<off_t> (size - bytes)) == tail.size();
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

    // In place, through the descriptor whose file was checked.
    if (::ftruncate (fd.get(), 0) != 0)
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

    if (::ftruncate (fd.get(), 0) != 0)
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
    if (fd_transfer::writeAll (fd.get(), data, count, written) != 0)
        fd.reset();

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
