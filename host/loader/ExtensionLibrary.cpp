#include "ExtensionLibrary.h"

#include <dlfcn.h>

namespace reaper_host
{
namespace
{
std::string lastDlError()
{
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

// The base address of the loaded object that holds this code address, or null.
const void* objectBaseOf (const void* address)
{
    Dl_info info{};
    return dladdr (address, &info) != 0 ? info.dli_fbase : nullptr;
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

LoadResult ExtensionLibrary::load (const std::string& path, int callerVersion)
{
    unload();
    libraryPath = path;
    LoadResult result;

    dlerror();
    handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        result.status = LoadStatus::cannotOpen;
        result.message = "cannot load " + path + ": " + lastDlError();
        return result;
    }

    entry = reinterpret_cast<ReaperPluginEntryFn> (dlsym (handle, "ReaperPluginEntry"));

    if (entry == nullptr)
    {
        close();
        result.status = LoadStatus::noEntryPoint;
        result.message = path + " has no ReaperPluginEntry";
        return result;
    }

    result.entryResult = entry (handle, model.pluginInfo (callerVersion));

    if (result.entryResult == 0)
    {
        removeTimersOfThisLibrary();
        close();
        result.status = LoadStatus::refused;
        result.message = path + ": ReaperPluginEntry refused to load (returned 0)";
        return result;
    }

    result.status = LoadStatus::loaded;
    return result;
}

int ExtensionLibrary::unload()
{
    if (handle == nullptr)
        return 0;

    entry (handle, nullptr);
    const int leftovers = removeTimersOfThisLibrary();
    close();
    return leftovers;
}

int ExtensionLibrary::removeTimersOfThisLibrary()
{
    const void* base = objectBaseOf (reinterpret_cast<const void*> (entry));
    int removed = 0;

    for (auto fn : std::vector<TimerRegistry::TimerFn> (model.timers().all()))
    {
        if (base != nullptr && objectBaseOf (reinterpret_cast<const void*> (fn)) == base)
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
        dlclose (handle);

    handle = nullptr;
    entry = nullptr;
}
} // namespace reaper_host
