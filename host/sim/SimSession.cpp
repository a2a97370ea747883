#include "SimSession.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "DynamicLibrary.h"

namespace reaper_host
{
SimSession::SimSession (HostModel& model, std::chrono::microseconds period, int callerVersion, std::ostream& log)
    : host (model)
    , mainLoop (model.timers(), period)
    , version (callerVersion)
    , out (log)
{
}

SimSession::~SimSession()
{
    unloadAll();
}

LoadResult SimSession::load (const std::string& libraryPath)
{
    // A bare file name means the file in the current folder, as everywhere on a command
    // line; dlopen and LoadLibraryW would instead search the system's library folders for it.
    // Separators are the system's own (LoadLibraryW wants backslashes).
    auto native = std::filesystem::u8path (libraryPath);
    native = (native.has_parent_path() ? native : "." / native).make_preferred();
    const auto path = native.u8string();
    auto library = std::make_unique<ExtensionLibrary> (host);
    auto result = library->load (path, version);

    if (result.ok())
    {
        out << "loaded " << path << "\n";
        loaded.push_back (std::move (library));
    }

    return result;
}

bool SimSession::loadFolder (const std::string& folder, int& count, int& failures, std::string& error)
{
    std::error_code code;
    std::vector<std::string> paths;

    for (const auto& entry : std::filesystem::directory_iterator (folder, code))
    {
        const auto name = entry.path().filename().string();

        if (name.rfind ("reaper_", 0) == 0 && entry.path().extension() == dynamic_library::kSuffix)
            paths.push_back (entry.path().string());
    }

    if (code)
    {
        error = "cannot read plug-ins folder " + folder + ": " + code.message();
        return false;
    }

    std::sort (paths.begin(), paths.end());
    count = 0;
    failures = 0;

    for (const auto& path : paths)
    {
        const auto result = load (path);

        if (result.ok())
            ++count;
        else
        {
            ++failures;
            out << "reaper-sim: " << result.message << "\n";
        }
    }

    return true;
}

void SimSession::unloadAll()
{
    while (!loaded.empty())
    {
        auto library = std::move (loaded.back());
        loaded.pop_back();
        const auto path = library->path();
        const int leftovers = library->unload();
        out << "unloaded " << path << "\n";

        if (leftovers > 0)
            out << "reaper-sim: warning: " << path << " left " << leftovers << " timer(s) registered at unload\n";
    }
}
} // namespace reaper_host
