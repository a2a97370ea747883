#include "ModulePin.h"

#include <dlfcn.h>

namespace module_pin
{
Outcome keepMapped()
{
    Dl_info info;

    if (dladdr (reinterpret_cast<const void*> (&keepMapped), &info) == 0 || info.dli_fname == nullptr)
        return Outcome::fail ("its file is not known");

    dlerror();

    // A mode needs RTLD_LAZY or RTLD_NOW besides the flags (glibc refuses it without). The
    // reference taken is never given back.
    if (dlopen (info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr)
        return Outcome::ok();

    const char* error = dlerror();
    return Outcome::fail (error != nullptr ? error : "dlopen of " + std::string (info.dli_fname) + " found nothing");
}
} // namespace module_pin
