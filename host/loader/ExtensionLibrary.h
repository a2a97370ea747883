#pragma once

#include <string>

#include "HostModel.h"

namespace reaper_host
{
enum class LoadStatus
{
    loaded,       // the entry point answered 1
    cannotOpen,   // dlopen failed: missing file, not a library, unresolved symbols
    noEntryPoint, // the library exports no ReaperPluginEntry
    refused,      // the entry point answered 0
};

struct LoadResult
{
    LoadStatus status = LoadStatus::cannotOpen;
    std::string message; // empty when loaded
    int entryResult = 0;

    bool ok() const
    {
        return status == LoadStatus::loaded;
    }
};

// One extension library loaded the way REAPER loads it: dlopen, ReaperPluginEntry with
// the host model's record, and at unload the entry with a null record, then dlclose.
class ExtensionLibrary
{
public:
    explicit ExtensionLibrary (HostModel& hostModel);
    ~ExtensionLibrary();

    ExtensionLibrary (const ExtensionLibrary&) = delete;
    ExtensionLibrary& operator= (const ExtensionLibrary&) = delete;

    // Loads the library and calls its entry point with a record of the given version.
    // A library whose entry refuses is closed again at once, without the unload call.
    LoadResult load (const std::string& libraryPath, int callerVersion = kReaperPluginVersion);

    // Calls the entry with a null record and closes the library. Timers the library
    // left registered would be called into unmapped code afterwards, so they are
    // removed; the result is their number (0 for a well-behaved extension).
    int unload();

    bool isLoaded() const
    {
        return handle != nullptr;
    }

    const std::string& path() const
    {
        return libraryPath;
    }

private:
    int removeTimersOfThisLibrary();
    void close();

    HostModel& model;
    std::string libraryPath;
    void* handle = nullptr;
    ReaperPluginEntryFn entry = nullptr;
};
} // namespace reaper_host
