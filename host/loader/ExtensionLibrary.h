#pragma once

#include <chrono>
#include <string>

#include "HostModel.h"

namespace reaper_host
{
enum class LoadStatus
{
    loaded,       // the entry point answered 1
    opened,       // open(): the library is mapped, its entry point not yet called
    cannotOpen,   // dlopen failed: missing file, not a library, unresolved symbols
    noEntryPoint, // the library exports no ReaperPluginEntry
    refused,      // the entry point answered 0
};

struct LoadResult
{
    LoadStatus status = LoadStatus::cannotOpen;
    std::string message; // empty when loaded or opened
    int entryResult = 0;

    bool ok() const
    {
        return status == LoadStatus::loaded || status == LoadStatus::opened;
    }
};

// One extension library loaded the way REAPER loads it: dlopen, ReaperPluginEntry with
// the host model's record, and at unload the entry with a null record, then dlclose. The
// entry point is called on the host's main thread (HostMainThread.h).
// The host's one loader: reaper-sim, the tests and the benchmarks all load through it.
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

    // The same with a record the caller made, e.g. one whose GetFunc hands out timing
    // wrappers around the host model's functions. The record must outlive the library.
    LoadResult load (const std::string& libraryPath, reaper_plugin_info_t& record);

    // Makes the unload call if a load call succeeded since the last unload call, and closes
    // the library. Timers the library left registered would be called into unmapped code
    // afterwards, so they are removed; the result is their number (0 for a well-behaved
    // extension).
    int unload();

    // The entry point's calls one at a time, for tests of calls REAPER never makes (a second
    // load call, an unload call without a load call before it): open() maps the library
    // without calling it, and each call answers what the entry point answered (0 when
    // nothing is open).
    LoadResult open (const std::string& libraryPath);
    int loadCall (int callerVersion = kReaperPluginVersion);
    int loadCall (reaper_plugin_info_t& record);
    int unloadCall();

    bool isLoaded() const
    {
        return handle != nullptr;
    }

    const std::string& path() const
    {
        return libraryPath;
    }

    // How long the last load call and the last unload call held the calling thread.
    std::chrono::nanoseconds lastLoadCallDuration() const
    {
        return loadCallDuration;
    }

    std::chrono::nanoseconds lastUnloadCallDuration() const
    {
        return unloadCallDuration;
    }

private:
    int removeTimersOfThisLibrary();
    void close();

    HostModel& model;
    std::string libraryPath;
    void* handle = nullptr;
    ReaperPluginEntryFn entry = nullptr;
    bool bridgeMayExist = false; // a load call succeeded since the last unload call
    std::chrono::nanoseconds loadCallDuration{0}, unloadCallDuration{0};
};
} // namespace reaper_host
