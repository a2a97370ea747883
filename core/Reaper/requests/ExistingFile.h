#pragma once

#include <string>

// Whether a spot's path names a file that exists, for the failed check logged before REAPER
// is asked to open it. One implementation per system (ExistingFilePosix.cpp,
// ExistingFileWindows.cpp).
namespace existing_file
{
// Only an absolute path (or, on Linux and macOS, one from a home folder: "~/", "~user/") can
// be shown to exist: REAPER's current folder is not ours to know. A folder is not a file.
bool named (const std::string& path);
} // namespace existing_file
