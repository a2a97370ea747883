#pragma once

#include <optional>

#include <sys/types.h>

#include <string>

#include "UniqueFd.h"
#include "common/Outcome.h"

// Creating, checking, opening and deleting the FIFO files of a pipe without ever following
// or reusing a path that is not a FIFO of the current user: /tmp is shared by every user, so
// a symbolic link or someone else's file planted at our name must not redirect our I/O. The
// rule is FifoTrust's; a FIFO of ours open to others is not refused here but made private.
namespace fifo_file
{
// Which file a path named when it was looked at: a file deleted and made again under the
// same name is another file.
struct Identity
{
    dev_t device = 0;
    ino_t inode = 0;

    bool operator== (const Identity& other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// The identity of the FIFO of ours at the path; nothing when the path names anything else
// or nothing. One lstat, never following a link. [any thread]
std::optional<Identity> identify (const std::string& path);

// The identity of the file open at the descriptor, whatever it is. [any thread]
std::optional<Identity> identify (int fd);

// Why prepare would refuse what is at the path now (empty when nothing is there or a FIFO of
// ours is), without making anything: lets a caller that tries again and again leave the file
// system alone while something unsafe is in the way. [any thread]
std::string whyRefused (const std::string& path);

// Makes the FIFO, or accepts an existing FIFO of ours (unless mustNotExist); either way its
// mode ends up 0600.
// created tells whether this call made it. The failure text names the path and the reason.
// [any thread]
Outcome prepare (const std::string& path, bool mustNotExist, bool& created);

// Opens the FIFO with the given flags (O_NOFOLLOW and O_CLOEXEC are added) and checks that
// what was opened is a FIFO of ours. On failure the descriptor is invalid and errno tells
// why the open failed (0 when it was the check). [any thread]
UniqueFd open (const std::string& path, int flags);

// Deletes the file if it is a FIFO of ours; anything else at the path is left alone.
// [any thread]
void remove (const std::string& path);

// Deletes the file only if it is still this FIFO of ours: one that replaced it is someone
// else's to remove. [any thread]
void remove (const std::string& path, const Identity& identity);
} // namespace fifo_file
