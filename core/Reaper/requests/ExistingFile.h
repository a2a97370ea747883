#pragma once

// Whether a spot's path names a file that exists, for the failed check logged before REAPER
// is asked to open it. One implementation per system (ExistingFilePosix.cpp,
// ExistingFileWindows.cpp).
namespace existing_file
{
// The path's bytes up to their first NUL, as REAPER reads them. Only an absolute path (or,
// on Linux and macOS, one from a home folder: "~/", "~user/") can be shown to exist:
// REAPER's current folder is not ours to know. A folder is not a file. No path longer than
// the system takes names a file, so a long one is not made UTF-8 for nothing.
bool named (const char* pathBytes);
} // namespace existing_file
