#pragma once

#include <juce_core/juce_core.h>

#include "pipe/UniqueFd.h"

// Creating, checking, opening and deleting the FIFO files of a pipe without ever following
// or reusing a path that is not a FIFO of the current user: /tmp is shared by every user, so
// a symbolic link or someone else's file planted at our name must not redirect our I/O.
namespace fifo_file
{
// Makes the FIFO, or accepts an existing FIFO of ours (unless mustNotExist); either way its
// mode ends up 0600.
// created tells whether this call made it. The failure text names the path and the reason.
juce::Result prepare (const juce::String& path, bool mustNotExist, bool& created);

// Opens the FIFO with the given flags (O_NOFOLLOW and O_CLOEXEC are added) and checks that
// what was opened is a FIFO of ours. On failure the descriptor is invalid and errno tells
// why the open failed (0 when it was the check).
UniqueFd open (const juce::String& path, int flags);

// Deletes the file if it is a FIFO of ours; anything else at the path is left alone.
void remove (const juce::String& path);
} // namespace fifo_file
