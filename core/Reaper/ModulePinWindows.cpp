// Windows: the module's own handle, looked up by an address inside it, pinned: the loader
// then never unmaps it, whatever FreeLibrary calls follow.

#include "ModulePin.h"

#include <windows.h>

namespace module_pin
{
bool keepMapped()
{
    HMODULE module = nullptr;
    return ::GetModuleHandleExW (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                 reinterpret_cast<LPCWSTR> (reinterpret_cast<const void*> (&keepMapped)), &module)
           != 0;
}
} // namespace module_pin
