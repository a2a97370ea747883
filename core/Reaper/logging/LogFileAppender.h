#pragma once

#include <cstdint>
#include <string>

#include <sys/types.h>

#include "pipe/UniqueFd.h"

// Appends whole lines to the log file through a descriptor kept open, and keeps the file
// usable for as long as REAPER runs:
// - a file removed or renamed (by the user, a cleaner, a log rotation) is made again at its
//   place, with a start banner, by the next write, so no line goes to a file nobody sees;
// - a file that has grown by more than growthAllowed since the appender opened it is cut to
//   its last keptWhenTrimmed bytes from a line break, as at start-up, and goes on;
// - while the file cannot be written (its folder made read-only after it was removed, a
//   full disk), the newest lines, up to keptWhileUnwritable bytes, wait in memory and are
//   written first once it can be written again, after a line counting any that did not fit;
//   whatever is still waiting when the appender goes is written to standard error.
// Not thread-safe: the logger serialises calls.
class LogFileAppender
{
public:
    struct Limits
    {
        std::int64_t growthAllowed = 1024 * 1024;
        std::int64_t keptWhenTrimmed = 131072;
        std::size_t keptWhileUnwritable = 65536;
    };

    // banner: what a file made again starts with (whole lines).
    LogFileAppender (std::string path, std::string banner, Limits limits);
    LogFileAppender (std::string path, std::string banner);
    ~LogFileAppender();

    // Appends the text, whole lines ending in CR LF, in one write when it can.
    void append (const std::string& lines);

    // Makes the folders on the way to filePath that are missing.
    static void makeFolderOf (const std::string& filePath);

    // The line written after a trim.
    static std::string trimmedNotice (std::int64_t keptBytes);

private:
    bool fileIsCurrent();
    bool reopen();
    bool writeAll (const char* data, std::size_t size);
    void keep (const char* data, std::size_t size);
    bool writeKeptLines();
    void trimIfGrown();

    const std::string path;
    const std::string banner;
    const Limits limits;

    UniqueFd fd;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    std::int64_t sizeLimit = -1;

    std::string kept;
    long long droppedLines = 0;
};
