#include "ExtensionLibrary.h"

#include <utility>

#include "DynamicLibrary.h"
#include "HostMainThread.h"

namespace reaper_host
{
namespace
{
using Clock = std::chrono::steady_clock;

LoadResult outcome (LoadStatus status, std::string message = {})
{
    LoadResult result;
    result.status = status;
    result.message = std::move (message);
    return result;
}
} // namespace

ExtensionLibrary::ExtensionLibrary (HostModel& hostModel)
    : model (hostModel)
{
}

ExtensionLibrary::~ExtensionLibrary()
{
    unload();
}

LoadResult ExtensionLibrary::open (const std::string& path)
{
    unload();
    libraryPath = path;

    std::string error;
    handle = dynamic_library::open (path, error);

    if (handle == nullptr)
        return outcome (LoadStatus::cannotOpen, "cannot load " + path + ": " + error);

    entry = reinterpret_cast<ReaperPluginEntryFn> (dynamic_library::symbol (handle, "ReaperPluginEntry"));

    if (entry == nullptr)
    {
        close();
        return outcome (LoadStatus::noEntryPoint, path + " has no ReaperPluginEntry");
    }

    return outcome (LoadStatus::opened);
}

LoadResult ExtensionLibrary::load (const std::string& path, int callerVersion)
{
    return load (path, *model.pluginInfo (callerVersion));
}

LoadResult ExtensionLibrary::load (const std::string& path, reaper_plugin_info_t& record)
{
    auto result = open (path);

    if (!result.ok())
        return result;

    result.entryResult = loadCall (record);

    if (result.entryResult == 0)
    {
        removeTimersOfThisLibrary();
        close();
        result.status = LoadStatus::refused;
        result.message = path + ": ReaperPluginEntry refused to load (returned 0)";
    }
    else
        result.status = LoadStatus::loaded;

    return result;
}

int ExtensionLibrary::loadCall (int callerVersion)
{
    return loadCall (*model.pluginInfo (callerVersion));
}

int ExtensionLibrary::loadCall (reaper_plugin_info_t& record)
{
    if (entry == nullptr)
        return 0;

    const auto start = Clock::now();
    int answer = 0;

    // REAPER loads its extensions on its main thread: host calls from any other are faults.
    model.adoptMainThread (host_main_thread::id());
    host_main_thread::call ([&]
                            { answer = entry (handle, &record); });
    loadCallDuration = Clock::now() - start;
    bridgeMayExist = bridgeMayExist || answer != 0;
    return answer;
}

int ExtensionLibrary::unloadCall()
{
    if (entry == nullptr)
        return 0;

    const auto start = Clock::now();
    int answer = 0;
    host_main_thread::call ([&]
                            { answer = entry (handle, nullptr); });
    unloadCallDuration = Clock::now() - start;
    bridgeMayExist = false;
    return answer;
}

int ExtensionLibrary::unload()
{
    if (handle == nullptr)
        return 0;

    if (bridgeMayExist)
        unloadCall();

    const int leftovers = removeTimersOfThisLibrary();
    close();
    return leftovers;
}

int ExtensionLibrary::removeTimersOfThisLibrary()
{
    const void* base = dynamic_library::objectBaseOf (reinterpret_cast<const void*> (entry));
    int removed = 0;

    for (auto fn : std::vector<TimerRegistry::TimerFn> (model.timers().all()))
    {
        if (base != nullptr && dynamic_library::objectBaseOf (reinterpret_cast<const void*> (fn)) == base)
        {
            model.timers().remove (fn);
            ++removed;
        }
    }

    return removed;
}

void ExtensionLibrary::close()
{
    if (handle != nullptr)
        dynamic_library::close (handle);

    handle = nullptr;
    entry = nullptr;
    bridgeMayExist = false;
}
} // namespace reaper_host
