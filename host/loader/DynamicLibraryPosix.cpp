#include "DynamicLibrary.h"

#include <dlfcn.h>

namespace reaper_host::dynamic_library
{
const char* const kSuffix = ".so";

void* open (const std::string& path, std::string& error)
{
    dlerror();
    void* handle = dlopen (path.c_str(), RTLD_NOW | RTLD_LOCAL);

    if (handle == nullptr)
    {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }

    return handle;
}

void* symbol (void* handle, const char* name)
{
    return dlsym (handle, name);
}

void close (void* handle)
{
    dlclose (handle);
}

const void* objectBaseOf (const void* address)
{
    Dl_info info{};
    return dladdr (address, &info) != 0 ? info.dli_fbase : nullptr;
}
} // namespace reaper_host::dynamic_library
