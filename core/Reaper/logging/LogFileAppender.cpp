#include "logging/LogFileAppender.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

LogFileAppender::LogFileAppender (std::string pathToUse, std::string bannerText, Limits limitsToUse)
    : path (std::move (pathToUse))
    , banner (std::move (bannerText))
    , limits (limitsToUse)
{
    reopen();
}

LogFileAppender::LogFileAppender (std::string pathToUse, std::string bannerText)
    : LogFileAppender (std::move (pathToUse), std::move (bannerText), Limits{})
{
}

LogFileAppender::~LogFileAppender()
{
    if (!kept.empty() && !(fileIsCurrent() && writeKeptLines()))
    {
        // Nowhere else to go: standard error, where log lines go when there is no log file.
        std::fwrite (kept.data(), 1, kept.size(), stderr);
        std::fflush (stderr);
    }
}

void LogFileAppender::makeFolderOf (const std::string& filePath)
{
    // Each missing folder on the way, outermost first.
    for (auto slash = filePath.find ('/', 1); slash != std::string::npos; slash = filePath.find ('/', slash + 1))
        ::mkdir (filePath.substr (0, slash).c_str(), 0777);
}

std::string LogFileAppender::trimmedNotice (std::int64_t keptBytes)
{
    return "Log trimmed to its last " + std::to_string (keptBytes) + " bytes\r\n";
}

void LogFileAppender::append (const std::string& lines)
{
    if (!fileIsCurrent() || (!kept.empty() && !writeKeptLines()))
    {
        keep (lines.data(), lines.size());
        return;
    }

    if (!writeAll (lines.data(), lines.size()))
        return;

    trimIfGrown();
}

bool LogFileAppender::fileIsCurrent()
{
    if (fd.isValid())
    {
        // One stat per write: the file at the path must still be the one written to.
        struct stat atPath;

        if (::stat (path.c_str(), &atPath) == 0 && atPath.st_dev == device && atPath.st_ino == inode)
        {
            size = static_cast<std::int64_t> (atPath.st_size);
            return true;
        }

        fd.reset();
    }

    return reopen();
}

bool LogFileAppender::reopen()
{
    // Read as well as written, so the file's tail can be read back when it is trimmed.
    UniqueFd file (::open (path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
    bool created = false;

    if (!file.isValid() && errno == EACCES)
        file.reset (::open (path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));

    if (!file.isValid() && errno == ENOENT)
    {
        // The folder may have gone with the file.
        makeFolderOf (path);
        file.reset (::open (path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        created = file.isValid();

        if (!file.isValid() && errno == EEXIST)
            file.reset (::open (path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
    }

    struct stat opened;

    if (!file.isValid() || ::fstat (file.get(), &opened) != 0)
        return false;

    fd = std::move (file);
    device = opened.st_dev;
    inode = opened.st_ino;
    size = static_cast<std::int64_t> (opened.st_size);

    // The session's bound counts from the size the file had when this appender first had it.
    if (sizeLimit < 0)
        sizeLimit = size + limits.growthAllowed;

    if (created)
        writeAll (banner.data(), banner.size());

    return fd.isValid();
}

bool LogFileAppender::writeAll (const char* data, std::size_t count)
{
    std::size_t written = 0;

    while (written < count)
    {
        const auto result = ::write (fd.get(), data + written, count - written);

        if (result > 0)
        {
            written += static_cast<std::size_t> (result);
            continue;
        }

        if (result < 0 && errno == EINTR)
            continue;

        // A full disk or a failing device: what is left waits, and the next write reopens.
        keep (data + written, count - written);
        fd.reset();
        size += static_cast<std::int64_t> (written);
        return false;
    }

    size += static_cast<std::int64_t> (count);
    return true;
}

void LogFileAppender::keep (const char* data, std::size_t count)
{
    kept.append (data, count);

    if (kept.size() <= limits.keptWhileUnwritable)
        return;

    // The oldest lines go first, whole.
    auto cut = kept.size() - limits.keptWhileUnwritable;
    const auto lineEnd = kept.find ('\n', cut - 1);
    cut = lineEnd == std::string::npos ? kept.size() : lineEnd + 1;
    droppedLines += std::count (kept.begin(), kept.begin() + static_cast<std::ptrdiff_t> (cut), '\n');
    kept.erase (0, cut);
}

bool LogFileAppender::writeKeptLines()
{
    std::string waiting;
    waiting.swap (kept);

    if (droppedLines > 0)
        waiting.insert (0, "Log file could not be written: " + std::to_string (droppedLines) + " lines were lost\r\n");

    droppedLines = 0;

    // On failure writeAll keeps what it could not write.
    return writeAll (waiting.data(), waiting.size());
}

void LogFileAppender::trimIfGrown()
{
    if (size <= sizeLimit)
        return;

    const auto keepBytes = std::min (size, limits.keptWhenTrimmed);
    std::vector<char> tail (static_cast<std::size_t> (keepBytes));
    std::size_t got = 0;

    while (got < tail.size())
    {
        const auto result = ::pread (fd.get(), tail.data() + got, tail.size() - got,
                                     static_cast<off_t> (size - keepBytes) + static_cast<off_t> (got));

        if (result > 0)
            got += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            break;
    }

    // A tail that cannot be read back (a file open for writing only) is not thrown away.
    if (got < tail.size())
        return;

    // Like the trim at start-up: from the first line break of the tail on.
    const auto lineBreak = std::find_if (tail.begin(), tail.begin() + static_cast<std::ptrdiff_t> (got),
                                         [] (char c)
                                         { return c == '\r' || c == '\n'; });
    const auto from = static_cast<std::size_t> (lineBreak - tail.begin());

    // In place, so the file stays the same file for anyone else appending to it.
    if (::ftruncate (fd.get(), 0) != 0)
        return;

    size = 0;
    const auto notice = trimmedNotice (limits.keptWhenTrimmed);

    if (writeAll (tail.data() + from, got - from))
        writeAll (notice.data(), notice.size());
}
