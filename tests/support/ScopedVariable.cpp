#include "ScopedVariable.h"

#include <cstdlib>

namespace testing_support
{
ScopedVariable::ScopedVariable (const char* variableName, const std::optional<std::string>& value)
    : name (variableName)
    , previous (valueOf (variableName))
{
    if (value)
        setenv (name, value->c_str(), 1);
    else
        unsetenv (name);
}

ScopedVariable::~ScopedVariable()
{
    if (previous)
        setenv (name, previous->c_str(), 1);
    else
        unsetenv (name);
}

std::optional<std::string> ScopedVariable::valueOf (const char* name)
{
    const char* value = std::getenv (name);
    return value != nullptr ? std::optional<std::string> (value) : std::nullopt;
}
} // namespace testing_support
