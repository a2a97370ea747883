#pragma once

#include <string>

#include "HostModel.h"

namespace testing_support
{
// The extension module opened with dlopen and its ReaperPluginEntry called directly, for
// tests that need entry calls the host loader never makes (a second load call, an unload
// call with no bridge, two unload calls). Opening a module that is already loaded shares it,
// and leaves it to its first owner. A handle that opened the module first makes, when it
// goes, the unload call if a load call succeeded since the last unload call, and drops the
// timers the module left with the host, before it closes the module.
class ModuleHandle
{
public:
    ModuleHandle (reaper_host::HostModel& host, const std::string& modulePath);
    ~ModuleHandle();

    ModuleHandle (const ModuleHandle&) = delete;
    ModuleHandle& operator= (const ModuleHandle&) = delete;

    bool isOpen() const
    {
        return entry != nullptr;
    }

    // The dlopen/dlsym failure, if any.
    const std::string& error() const
    {
        return failure;
    }

    // ReaperPluginEntry with the host's record of this version.
    int load (int callerVersion = kReaperPluginVersion);

    // ReaperPluginEntry with no record.
    int unload();

private:
    reaper_host::HostModel& model;
    void* handle = nullptr;
    ReaperPluginEntryFn entry = nullptr;
    std::string failure;
    bool bridgeMayExist = false;
    bool sharesAnOpenModule = false;
};
} // namespace testing_support
