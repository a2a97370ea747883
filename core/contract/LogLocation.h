#pragma once

#include <string>

// Where the extension's log is, for the extension that writes it and for everything that
// reads it (bv-client doctor, the tests): <home>/<the system's log folder>/Belvanta/Reaper.txt.
namespace log_location
{
// The folder, inside a home folder, where the system keeps the user's application logs:
// ".config" on Linux (whatever XDG_CONFIG_HOME says, as REAPER's own folder is),
// "Library/Logs" on macOS, none on Windows, whose "home" is already the roaming
// application-data folder (HomeFolderWindows.cpp). One file per system (LogFolderLinux.cpp,
// LogFolderMac.cpp, LogFolderWindows.cpp).
const char* folderInHome();

// The log under the given home folder.
std::string pathUnder (const std::string& home);

// This user's log: under home_folder::path().
std::string path();
} // namespace log_location
