#include "api/ApiBinding.h"

#include <cstddef>

#include "api/ReaperApi.h"

namespace
{
struct Binding
{
    void** pointer;
    const char* name;
};

#define BV_BINDING(returnType, name, parameters) {reinterpret_cast<void**> (&reaper::name), #name},

// Lookup order matters only for the order of GetFunc calls the host sees.
const Binding bindings[] = {BV_REAPER_REQUIRED_FUNCTIONS (BV_BINDING)};
const Binding optionalBindings[] = {BV_REAPER_OPTIONAL_FUNCTIONS (BV_BINDING)};
const Binding onDemandBindings[] = {BV_REAPER_ON_DEMAND_FUNCTIONS (BV_BINDING)};

#undef BV_BINDING

static_assert (sizeof (bindings) / sizeof (bindings[0]) == 35, "REAPER binding table must have 35 entries");

template <std::size_t N>
int bindAll (const Binding (&table)[N], HostGetFunc getFunc)
{
    int missing = 0;

    for (const auto& binding : table)
    {
        *binding.pointer = getFunc (binding.name);

        if (*binding.pointer == nullptr)
            ++missing;
    }

    return missing;
}
} // namespace

int bindHostApi (HostGetFunc getFunc)
{
    return bindAll (bindings, getFunc);
}

int bindOptionalHostApi (HostGetFunc getFunc)
{
    return bindAll (optionalBindings, getFunc);
}

int bindOnDemandHostApi (HostGetFunc getFunc)
{
    return bindAll (onDemandBindings, getFunc);
}

int hostApiEntryCount()
{
    return static_cast<int> (sizeof (bindings) / sizeof (bindings[0]));
}

const char* hostApiEntryName (int index)
{
    return (index >= 0 && index < hostApiEntryCount()) ? bindings[index].name : nullptr;
}
