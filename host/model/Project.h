#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Track.h"

namespace reaper_host
{
struct TimeRange
{
    double start = 0;
    double end = 0;
};

// A host action run by its command id.
struct ActionRun
{
    int command = 0;
    int flag = 0;
};

// A file handed to the Media Explorer through OpenMediaExplorer.
struct ExplorerRequest
{
    // The most of a name kept (no path is longer), so that a session of requests with
    // megabyte paths measures the extension, not this list.
    static constexpr std::size_t kLongestFile = 4096;

    std::string file; // its first kLongestFile bytes
    bool play = false;
};

// A message shown through the host's message box.
struct MessageBoxShown
{
    std::string message;
    std::string title;
    int type = 0;
};

// The state of the one open REAPER project, plus what the host was asked to do to its
// user interface. Plain data: the host functions and the tests read and change it.
class Project
{
public:
    std::vector<std::unique_ptr<Track>> tracks;
    double cursor = 0;       // edit cursor, seconds
    TimeRange timeSelection; // start == end means no time selection
    TimeRange loopPoints;
    std::string projectPath; // what the project path query reports
    std::string projectFile; // what EnumProjects reports; empty for an unsaved project
    std::vector<ActionRun> actions;
    std::vector<ExplorerRequest> explorerRequests;
    std::vector<MessageBoxShown> messageBoxes;
    std::vector<std::string> itemUpdates; // labels of items passed to UpdateItemInProject
    int timelineRedraws = 0;              // UpdateTimeline calls
    int arrangeRedraws = 0;               // UpdateArrange calls
    int refreshPrevention = 0;            // the redraw prevention's running count; 0 lets REAPER redraw
};
} // namespace reaper_host
