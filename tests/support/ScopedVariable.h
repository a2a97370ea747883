#pragma once

#include <optional>
#include <string>

namespace testing_support
{
// An environment variable set (or unset, given nothing) for as long as this lives, then put
// back as it was; child processes started meanwhile inherit it.
class ScopedVariable
{
public:
    ScopedVariable (const char* name, const std::optional<std::string>& value);
    ~ScopedVariable();

    ScopedVariable (const ScopedVariable&) = delete;
    ScopedVariable& operator= (const ScopedVariable&) = delete;

    // The variable's value now; nothing when it is unset.
    static std::optional<std::string> valueOf (const char* name);

private:
    const char* name;
    std::optional<std::string> previous;
};
} // namespace testing_support
