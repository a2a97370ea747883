#include "ModuleHandle.h"

#include <vector>

#include <dlfcn.h>

namespace testing_support
{
namespace
{
const void* objectBaseOf (const void* address)
{
    Dl_info info{};
    return dladdr (address, &info) != 0 ? info.dli_fbase : nullptr;
}
} // namespace

ModuleHandle::ModuleHandle (reaper_host::HostModel& host, const std::string& modulePath)
    : model (host)
{
    if (void* existing = dlopen (modulePath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD))
    {
        sharesAnOpenModule = true;
        dlclose (existing);
    }

    handle = dlopen (modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        const char* text = dlerror();
        failure = text != nullptr ? text : "dlopen failed";
        return;
    }

    entry = reinterpret_cast<ReaperPluginEntryFn> (dlsym (handle, "ReaperPluginEntry"));

    if (entry == nullptr)
        failure = "no ReaperPluginEntry";
}

ModuleHandle::~ModuleHandle()
{
    if (entry != nullptr && !sharesAnOpenModule)
    {
        if (bridgeMayExist)
            unload();

        // Timers left behind would be called into unmapped code once the module is closed.
        const auto* base = objectBaseOf (reinterpret_cast<const void*> (entry));

        for (auto fn : std::vector<reaper_host::TimerRegistry::TimerFn> (model.timers().all()))
            if (objectBaseOf (reinterpret_cast<const void*> (fn)) == base)
                model.timers().remove (fn);
    }

    if (handle != nullptr)
        dlclose (handle);
}

int ModuleHandle::load (int callerVersion)
{
    if (entry == nullptr)
        return 0;

    const int result = entry (handle, model.pluginInfo (callerVersion));
    bridgeMayExist = bridgeMayExist || result != 0;
    return result;
}

int ModuleHandle::unload()
{
    if (entry == nullptr)
        return 0;

    bridgeMayExist = false;
    return entry (handle, nullptr);
}
} // namespace testing_support
