// Windows: the module's own handle, looked up by an address inside it, pinned: the loader
// then never unmaps it, whatever FreeLibrary calls follow.

#include "ModulePin.h"

#include <string>

#include <windows.h>

namespace module_pin
{
Outcome keepMapped()
{
    HMODULE module = nullptr;

    if (::GetModuleHandleExW (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              reinterpret_cast<LPCWSTR> (reinterpret_cast<const void*> (&keepMapped)), &module)
        != 0)
        return Outcome::ok();

    return Outcome::fail ("GetModuleHandleEx failed with error " + std::to_string (::GetLastError()));
}
} // namespace module_pin
