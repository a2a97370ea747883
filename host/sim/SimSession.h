#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ExtensionLibrary.h"
#include "HostModel.h"
#include "MainLoop.h"

namespace reaper_host
{
// What one run of the console host holds: the model, the loaded extensions and the
// main loop that ticks their timers.
class SimSession
{
public:
    SimSession (HostModel& model, std::chrono::microseconds period, int callerVersion, std::ostream& log);
    ~SimSession();

    SimSession (const SimSession&) = delete;
    SimSession& operator= (const SimSession&) = delete;

    LoadResult load (const std::string& libraryPath);

    // Every reaper_*.so (Windows: .dll) in the folder, in name order, as REAPER loads its UserPlugins.
    // False, with a reason, when the folder cannot be read; a library that fails to
    // load is reported and counted in `failures`.
    bool loadFolder (const std::string& folder, int& loaded, int& failures, std::string& error);

    // Unloads every extension, last loaded first, and reports timers left behind.
    void unloadAll();

    HostModel& model()
    {
        return host;
    }

    MainLoop& loop()
    {
        return mainLoop;
    }

    const std::vector<std::unique_ptr<ExtensionLibrary>>& libraries() const
    {
        return loaded;
    }

private:
    HostModel& host;
    MainLoop mainLoop;
    int version;
    std::ostream& out;
    std::vector<std::unique_ptr<ExtensionLibrary>> loaded;
};
} // namespace reaper_host
