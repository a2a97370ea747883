#include "LoadedModule.h"

#include <chrono>

#include <dlfcn.h>

#include "HostCallTimer.h"

namespace
{
using Clock = std::chrono::steady_clock;

double microsecondsSince (Clock::time_point start)
{
    return std::chrono::duration<double, std::micro> (Clock::now() - start).count();
}
} // namespace

LoadedModule::LoadedModule (reaper_host::HostModel& host)
    : model (host)
{
}

LoadedModule::~LoadedModule()
{
    unload();
}

bool LoadedModule::load (const std::string& path, std::string& error)
{
    unload();

    handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }

    entry = reinterpret_cast<ReaperPluginEntryFn> (dlsym (handle, "ReaperPluginEntry"));

    if (entry == nullptr)
    {
        error = path + " has no ReaperPluginEntry";
        dlclose (handle);
        handle = nullptr;
        return false;
    }

    record = *model.pluginInfo();
    HostCallTimer::setInnerGetFunc (record.GetFunc);
    record.GetFunc = &HostCallTimer::getFunc;

    const auto start = Clock::now();
    const int loaded = entry (handle, &record);
    loadMicros = microsecondsSince (start);

    if (loaded == 0)
    {
        error = path + " refused to load";
        dlclose (handle);
        handle = nullptr;
        entry = nullptr;
        return false;
    }

    return true;
}

void LoadedModule::unload()
{
    if (handle == nullptr)
        return;

    const auto start = Clock::now();
    entry (handle, nullptr);
    unloadMicros = microsecondsSince (start);

    dlclose (handle);
    handle = nullptr;
    entry = nullptr;
}
