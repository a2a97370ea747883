#pragma once

#include <string>
#include <vector>

#include "api/ReaperTypes.h"

namespace reaper_host
{
// How reaper-sim was asked to run: which extensions, the starting project, the input.
struct SimOptions
{
    std::vector<std::string> libraries;
    std::string pluginsFolder;
    int tracks = 0;
    std::vector<std::string> trackNames;
    std::vector<int> selectedTracks; // numbered from 1
    double cursor = 0;
    std::vector<double> timeSelection; // empty, or start and end
    std::string projectPath;
    double periodMs = 33;
    std::string script;
    int callerVersion = kReaperPluginVersion;
    std::vector<std::string> withheld;
    std::vector<std::string> failing;
    int drawWidth = 64;
    std::string jsonOnExit;
    bool journalOnExit = false;
    bool drawOnExit = false;
};

// Reads the command line. False when the program should stop at once with `exitCode`
// (0 after --help, 2 after an error, which has been printed).
bool parseSimOptions (int argc, char** argv, SimOptions& options, int& exitCode);
} // namespace reaper_host
