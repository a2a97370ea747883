#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "logging/LogFile.h"

// Appends whole lines to the log file through a descriptor kept open, and keeps the file
// usable for as long as REAPER runs:
// - the file's folder is used only when it is a folder (not a symbolic link) of this user
//   that nobody else may write in; missing, it is made so, 0755 (those on the way 0700),
//   unless it would be made inside another user's folder; this user's folder that others
//   may write in is first made this user's alone ("Log folder <folder> was writable by
//   others: now only by its owner"). Refused, both files in it are, and the lines go to
//   standard error;
// - only a regular file of this user with no other name is written or cut, opened without
//   following a symbolic link; anything else at the path is left alone, and a file of the
//   extension's own beside it (besidePath) is used instead, or, when that is refused too,
//   standard error. "Log file not used: <path> <why>" says so, once per reason;
// - a file removed or renamed (by the user, a cleaner, a log rotation) is made again at its
//   place, with a start banner, by the next write, so no line goes to a file nobody sees;
// - a file that has grown by more than growthAllowed since the start is cut to its last
//   keptWhenTrimmed bytes, whole lines only; it then begins with the head line (when and by
//   whom the log was started, and how the pipe is) and ends with trimmedNotice;
// - while the file cannot be written (its folder made read-only after it was removed, a
//   full disk), the newest lines, up to keptWhileUnwritable bytes, wait in memory and are
//   written first once it can be written again, after a line of its own counting exactly
//   the lines that did not fit; a line cut short in the file by a failed write is finished
//   first, or ended when its rest was among those lost; the banner waits and is counted like
//   any lines; whatever is still waiting when the appender goes is handed to standard error
//   (StandardError, which never holds the caller), all but the rest of a line the file holds
//   the start of, which is counted as lost: a line goes whole to one place.
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

    // Opens the log (made when missing), cuts a file longer than keptAtStart to its tail from
    // the first line break within it (kept; a tail without one, or with a NUL before it, is
    // not text and the file is left whole), then appends the banner. The growth allowed
    // counts from the size the file then has. banner: what the log starts with, and what a
    // file made again starts with (whole lines).
    LogFileAppender (std::string path, std::string banner, std::int64_t keptAtStart, Limits limits);
    ~LogFileAppender();

    LogFileAppender (const LogFileAppender&) = delete;
    LogFileAppender& operator= (const LogFileAppender&) = delete;

    // Appends the text, whole lines ending in CR LF, in one write when it can.
    // [one thread at a time]
    void append (const std::string& lines);

    // What the file begins with once cut in session: one line, without its line end, made at
    // each cut. [one thread at a time]
    void setHeadLine (std::function<std::string()> makeHeadLine);

    // The line written after a trim. [any thread]
    static std::string trimmedNotice (std::int64_t keptBytes);

    // The line counting the lines lost while the file could not be written. [any thread]
    static std::string lostNotice (long long lines);

    // The file used when what is at path is refused: "Reaper.txt" -> "Reaper.own.txt".
    // [any thread]
    static std::string besidePath (const std::string& path);

private:
    // unwritable: tried again at the next line; meanwhile lines wait in memory.
    using Open = LogFile::Open;

    Open openChecked (const std::string& at, LogFile& opened, bool& created, std::string& refusal);
    bool fileIsCurrent();
    bool reopen (bool atStart);
    void reportRefusal (const std::string& refusal);
    void trimAtStart (std::int64_t keptAtStart);
    void trimIfGrown();
    bool readTail (std::int64_t bytes, std::string& tail) const;

    std::size_t writeSome (const char* data, std::size_t count);
    bool writePending();
    void keep (const char* data, std::size_t count);
    void keepBannerFirst();
    void dropRestOfCutLine();
    void dropOldest();
    void pendingToStandardError();

    const std::string path;
    const std::string banner;
    const Limits limits;
    std::function<std::string()> headLine;

    // The file written to: at path, or beside it when path is refused.
    std::string target;
    LogFile file;
    LogFile::Identity identity;
    std::int64_t size = 0;
    std::int64_t sizeLimit = -1;
    bool refusedEverywhere = false;
    std::string lastRefusal;

    // Lines not yet written, oldest first. The first restOfCutLine bytes go before anything
    // else: the rest of a line a failed write cut short in the file, or a new file's banner;
    // when a cut line's rest was dropped, the file ends mid-line and needs a line end first.
    std::string kept;
    std::size_t restOfCutLine = 0;
    bool fileEndsMidLine = false;
    long long droppedLines = 0;
};
