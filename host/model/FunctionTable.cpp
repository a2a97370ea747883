#include "FunctionTable.h"

#include <cstring>

#include "HostFunctions.h"
#include "HostModel.h"

namespace reaper_host
{
namespace
{
struct Entry
{
    const char* name;
    void* function;
};

#define BV_HOST_FN(returnType, name, parameters) {#name, reinterpret_cast<void*> (&api::name)},

const Entry entries[] = {BV_REAPER_FUNCTIONS (BV_HOST_FN)};

#undef BV_HOST_FN
} // namespace

void* getFunc (const char* name)
{
    if (name == nullptr)
        return nullptr;

    auto& model = HostModel::current();
    model.recordLookup (name);

    if (model.isWithheld (name))
        return nullptr;

    for (const auto& entry : entries)
        if (std::strcmp (entry.name, name) == 0)
            return entry.function;

    return nullptr;
}

const std::vector<std::string>& hostFunctionNames()
{
    static const std::vector<std::string> names = []
    {
        std::vector<std::string> result;

        for (const auto& entry : entries)
            result.emplace_back (entry.name);

        return result;
    }();

    return names;
}
} // namespace reaper_host
