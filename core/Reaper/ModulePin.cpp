#include "ModulePin.h"

#include <dlfcn.h>

namespace module_pin
{
bool keepMapped()
{
    Dl_info info;

    if (dladdr (reinterpret_cast<const void*> (&keepMapped), &info) == 0 || info.dli_fname == nullptr)
        return false;

    // A mode needs RTLD_LAZY or RTLD_NOW besides the flags (glibc refuses it without). The
    // reference taken is never given back.
    return dlopen (info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}
} // namespace module_pin
