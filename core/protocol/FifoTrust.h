#pragma once

#include <string>

#include <sys/stat.h>

// Whether a path in /tmp may be used as one end of this user's pipe. /tmp is shared by
// every user: a file planted there by someone else could collect what we write (a private
// file path, for example) or feed us forged replies. Only a FIFO owned by the user running
// this process, not reachable through a symbolic link, and closed to group and others, is
// trusted. Root is no exception: another user's FIFO is that user's pipe.
namespace fifo_trust
{
// What makes a file unfit to be one end of the pipe, most serious first.
enum class Problem
{
    none,
    symbolicLink,
    notFifo,
    otherOwner,  // a FIFO of another user
    openToOthers // a FIFO of ours that group or others may read or write
};

// The one rule, applied to what lstat or fstat said. The extension, which makes its FIFOs,
// repairs openToOthers itself; a client refuses it.
Problem examine (const struct stat& info);

struct Verdict
{
    enum class State
    {
        trusted,
        missing,   // nothing at the path
        untrusted, // something is there that must not be used; reason says what
        unreadable // the path could not be examined; reason says why
    };

    State state = State::missing;
    std::string reason; // e.g. "is a regular file, not a FIFO"

    bool trusted() const
    {
        return state == State::trusted;
    }
};

// Examines the path itself (a symbolic link is not followed).
Verdict checkPath (const std::string& path);

// Examines what an open descriptor refers to, so that a file swapped in between the
// check of the path and the open is caught.
Verdict checkOpened (int fd);

// Empty when the status describes a trusted FIFO, else why not, as a client says it.
std::string whyUntrusted (const struct stat& info);

// What kind of file the mode describes: "a regular file", "a directory", "a FIFO", ...
std::string kindOf (mode_t mode);

// "root", or "uid 1234" when the user has no name.
std::string userName (uid_t uid);

// The permission bits in octal, as chmod takes them: "0600".
std::string modeText (mode_t mode);
} // namespace fifo_trust
