#pragma once

#include <string>

#include "HostModel.h"

// The extension's module loaded into this process the way REAPER loads it (dlopen, then
// ReaperPluginEntry with the host's record), with both entry calls timed. The extension
// reaches the host's functions through HostCallTimer, so their time can be told apart.
class LoadedModule
{
public:
    explicit LoadedModule (reaper_host::HostModel& host);
    ~LoadedModule();

    LoadedModule (const LoadedModule&) = delete;
    LoadedModule& operator= (const LoadedModule&) = delete;

    // False, with the reason in error, when the module cannot be opened or refuses to load.
    bool load (const std::string& path, std::string& error);

    // The unload call, then dlclose; does nothing when not loaded.
    void unload();

    bool isLoaded() const
    {
        return handle != nullptr;
    }

    // Duration of the last load call and the last unload call of ReaperPluginEntry, in µs.
    double loadCallMicroseconds() const
    {
        return loadMicros;
    }
    double unloadCallMicroseconds() const
    {
        return unloadMicros;
    }

private:
    reaper_host::HostModel& model;
    reaper_plugin_info_t record{};
    void* handle = nullptr;
    ReaperPluginEntryFn entry = nullptr;
    double loadMicros = 0, unloadMicros = 0;
};
