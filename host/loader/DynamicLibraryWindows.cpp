// Windows: as REAPER loads its extensions, with LoadLibraryW (a path with any letters).

#include "DynamicLibrary.h"

#include <windows.h>

#include "WideText.h"

namespace reaper_host::dynamic_library
{
const char* const kSuffix = ".dll";

void* open (const std::string& path, std::string& error)
{
    auto* module = ::LoadLibraryW (wide_text::fromUtf8 (path).c_str());

    if (module == nullptr)
        error = "LoadLibraryW failed with error " + std::to_string (::GetLastError());

    return reinterpret_cast<void*> (module);
}

void* symbol (void* handle, const char* name)
{
    return reinterpret_cast<void*> (::GetProcAddress (static_cast<HMODULE> (handle), name));
}

void close (void* handle)
{
    ::FreeLibrary (static_cast<HMODULE> (handle));
}

const void* objectBaseOf (const void* address)
{
    HMODULE module = nullptr;
    const auto found = ::GetModuleHandleExW (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                             static_cast<LPCWSTR> (address), &module);
    return found != 0 ? reinterpret_cast<const void*> (module) : nullptr;
}
} // namespace reaper_host::dynamic_library
