#pragma once

#include <string>
#include <vector>

// What the install check does differently on each system: where REAPER keeps its plug-ins, how a library's dependencies are found, and how to see which processes
// hold a file open. One implementation per system (DoctorPlatformLinux.cpp, ...Mac.cpp).
namespace doctor_platform
{
// REAPER's UserPlugins folder for this user.
std::string defaultPluginsFolder();

// The module's file name ending: ".so", ".dylib".
std::string moduleSuffix();

struct LibraryReport
{
    bool checked = false;
    std::vector<std::string> found;   // every library needed, directly or through another
    std::vector<std::string> missing; // those the dynamic loader would not find
    std::string note;                 // when not checked: why
};

// Resolves the libraries the module needs, as the system's dynamic loader would.
LibraryReport findLibraries (const std::string& modulePath);

struct Holder
{
    int pid = 0;
    std::string name;
    bool reads = false;
    bool writes = false;
};

struct HolderScan
{
    bool checked = false;
    std::vector<Holder> holders;
    std::string note; // when not checked: why
};

// The processes of this user that have the file open, and how.
HolderScan holdersOf (const std::string& path);

// The process that holds an advisory lock (flock) on the file: the REAPER that serves holds
// the one on the pipe's lock file. 0 when no process does, or this system cannot tell.
int lockHolder (const std::string& path);
} // namespace doctor_platform
