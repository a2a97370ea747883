#pragma once

#include <cstdint>
#include <string>

// The log file as the system has it: opened only after the checks of LogFileAppender's rule
// (a folder of this user's that is not a link, this user's own regular file with one name),
// and told apart from another file at the same name by its identity. One implementation per
// system: LogFilePosix.cpp (descriptors, O_NOFOLLOW, owner and mode), LogFileWindows.cpp
// (wide-character names, reparse points, owner SIDs).
// Not thread-safe: its appender serialises calls.
class LogFile
{
public:
    enum class Open
    {
        opened,
        unwritable, // try again later: the folder is read-only, the disk full
        refused     // not this user's plain file, or not in this user's folder: never written
    };

    // Which file: device and inode, or volume and file index.
    struct Identity
    {
        std::uint64_t volume = 0;
        std::uint64_t index = 0;

        bool operator== (const Identity& other) const
        {
            return volume == other.volume && index == other.index;
        }
        bool operator!= (const Identity& other) const
        {
            return !(*this == other);
        }
    };

    LogFile() = default;
    ~LogFile();

    LogFile (LogFile&& other) noexcept;
    LogFile& operator= (LogFile&& other) noexcept;
    LogFile (const LogFile&) = delete;
    LogFile& operator= (const LogFile&) = delete;

    // Opens the file at path for reading and appending, made (with its folder) when missing.
    // created: it did not exist. refusal: why it is refused, as the log says it. notice: a
    // line (CR LF ended) to log about what was done to the folder, or empty.
    Open open (const std::string& path, bool& created, std::string& refusal, std::string& notice);

    bool isOpen() const;
    void close();

    // Of the open file.
    Identity identity() const
    {
        return openedIdentity;
    }

    // The open file's size; -1 when it cannot be read.
    std::int64_t size() const;

    // True, with its size, while the file at path is still this one (a removed or replaced
    // file is not), without following a link at path.
    bool stillAt (const std::string& path, std::int64_t& size) const;

    // Reads exactly count bytes at offset.
    bool readAt (std::int64_t offset, char* data, std::size_t count) const;

    // Cuts the file to nothing.
    bool truncate();

    // Appends at the file's end as much as it takes; false when a write failed.
    bool append (const char* data, std::size_t count, std::size_t& written);

private:
    std::intptr_t handle = -1;
    Identity openedIdentity;
};
