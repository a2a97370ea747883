#include "logging/ExtensionLog.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform.h"
#include "logging/LogLineEscaping.h"
#include "logging/LogText.h"
#include "pipe/UniqueFd.h"

namespace
{
bool readWhole (int fd, std::vector<char>& into, off_t from)
{
    std::size_t got = 0;

    while (got < into.size())
    {
        const auto result = ::pread (fd, into.data() + got, into.size() - got, from + static_cast<off_t> (got));

        if (result > 0)
            got += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            return false;
    }

    return true;
}

bool writeWhole (int fd, const char* data, std::size_t size)
{
    std::size_t written = 0;

    while (written < size)
    {
        const auto result = ::write (fd, data + written, size - written);

        if (result > 0)
            written += static_cast<std::size_t> (result);
        else if (!(result < 0 && errno == EINTR))
            return false;
    }

    return true;
}

// The log starts with its banner, written to the end of the file (made when missing).
void appendBanner (const std::string& path, const std::string& banner)
{
    LogFileAppender::makeFolderOf (path);
    const UniqueFd fd (::open (path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));

    if (fd.isValid())
        writeWhole (fd.get(), banner.data(), banner.size());
}
} // namespace

ExtensionLog::ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes)
    : ExtensionLog (path, welcomeMessage, maxInitialFileSizeBytes, LogFileAppender::Limits{})
{
}

ExtensionLog::ExtensionLog (const std::string& path, const std::string& welcomeMessage, std::int64_t maxInitialFileSizeBytes,
                            LogFileAppender::Limits limits, int repeatsWrittenInFull)
    : file (
        [&]
        {
            // Before the appender opens the file: trimmed, then the banner.
            trimAtStart (path, maxInitialFileSizeBytes);
            appendBanner (path, startBanner (welcomeMessage));
            return path;
        }(),
        startBanner (welcomeMessage),
        [&]
        {
            limits.keptWhenTrimmed = maxInitialFileSizeBytes > 0 ? maxInitialFileSizeBytes : limits.keptWhenTrimmed;
            return limits;
        }())
    , repeats (repeatsWrittenInFull)
{
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

std::string ExtensionLog::defaultPath (const std::string& subFolder, const std::string& fileName)
{
    std::string home;

    if (const char* fromEnvironment = std::getenv ("HOME"))
        home = fromEnvironment;
    else if (const auto* self = getpwuid (getuid()))
        home = self->pw_dir;

    return home + "/" + platform::logFolderInHome() + "/" + subFolder + "/" + fileName;
}

std::string ExtensionLog::startBanner (const std::string& welcomeMessage)
{
    return "\r\n**********************************************************\r\n" + welcomeMessage + "\r\nLog started: "
           + log_text::bannerTimeNow() + "\r\n\r\n";
}

void ExtensionLog::trimAtStart (const std::string& path, std::int64_t maxBytes)
{
    if (maxBytes <= 0)
    {
        ::unlink (path.c_str());
        return;
    }

    const UniqueFd in (::open (path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;

    if (!in.isValid() || ::fstat (in.get(), &info) != 0 || info.st_size <= maxBytes)
        return;

    std::vector<char> tail (static_cast<std::size_t> (maxBytes));

    if (!readWhole (in.get(), tail, static_cast<off_t> (info.st_size - maxBytes)))
        return;

    // From the first line break on; a NUL before any line break means this is not a text
    // log, and it is left alone.
    std::size_t from = 0;

    while (from < tail.size() && tail[from] != '\n' && tail[from] != '\r')
        if (tail[from++] == 0)
            return;

    if (from == tail.size())
        return;

    // Written beside the log and moved over it, so a failure leaves the log as it was.
    const auto temporary = path + ".trimmed";
    ::unlink (temporary.c_str());
    const UniqueFd out (::open (temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));

    if (!out.isValid())
        return;

    if (writeWhole (out.get(), tail.data() + from, tail.size() - from))
        ::rename (temporary.c_str(), path.c_str());
    else
        ::unlink (temporary.c_str());
}

void ExtensionLog::logMessage (const std::string& message)
{
    const std::lock_guard<std::mutex> guard (lock);

    log_line::escape (message.c_str(), escaped);

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
