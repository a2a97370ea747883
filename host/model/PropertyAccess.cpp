#include "PropertyAccess.h"

#include <cstring>

namespace reaper_host::api
{
namespace fmt = journal_format;

bool is (const char* parmname, const char* key)
{
    return parmname != nullptr && std::strcmp (parmname, key) == 0;
}

double NumberField::get() const
{
    if (number != nullptr)
        return *number;

    if (flag != nullptr)
        return *flag ? 1.0 : 0.0;

    return index != nullptr ? *index : 0.0;
}

void NumberField::set (double value) const
{
    if (number != nullptr)
        *number = value;
    else if (flag != nullptr)
        *flag = value != 0.0;
    else if (index != nullptr)
        *index = (int) value;
}

void* getSetNumber (HostCall& call, double* number, void* setNewValue)
{
    call.arg (setNewValue != nullptr ? fmt::number (*static_cast<double*> (setNewValue)) : std::string ("null"));

    if (setNewValue != nullptr)
        *number = *static_cast<double*> (setNewValue);

    return call.returns<void*> (number, fmt::number (*number));
}

void* getSetFlag (HostCall& call, bool* flag, void* setNewValue)
{
    call.arg (setNewValue != nullptr ? fmt::boolean (*static_cast<bool*> (setNewValue)) : std::string ("null"));

    if (setNewValue != nullptr)
        *flag = *static_cast<bool*> (setNewValue);

    return call.returns<void*> (flag, fmt::boolean (*flag));
}
} // namespace reaper_host::api
