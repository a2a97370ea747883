#pragma once

#include <optional>
#include <string>

#include "TempDirectory.h"

// What the client tests set around bv-client: its lock folder, environment variables, and
// file modes in failure messages. Every bv-client the tests start keeps its lock in a
// folder of the test program's own (XDG_RUNTIME_DIR), never in the real user's.
namespace client_testing
{
// An environment variable set (or unset, given nothing) for as long as this lives; the
// bv-client processes started meanwhile inherit it.
class ScopedVariable
{
public:
    ScopedVariable (const char* name, const std::optional<std::string>& value);
    ~ScopedVariable();

    ScopedVariable (const ScopedVariable&) = delete;
    ScopedVariable& operator= (const ScopedVariable&) = delete;

private:
    const char* name;
    std::optional<std::string> previous;
};

// A new folder in the system's temporary folder, mode 0700, removed with what it holds.
class TemporaryFolder
{
public:
    const std::string& path() const
    {
        return folder.directory();
    }

private:
    testing_support::TempDirectory folder{"bv-client-folder"};
};

// "0755 (a directory of uid 0)": a file's mode in octal, its kind and owner, for failure
// messages; "(none)" when nothing is at the path.
std::string describeMode (const std::string& path);
} // namespace client_testing
