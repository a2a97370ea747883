#pragma once

#include <string>

#include "TempDirectory.h"

// What the client tests set around bv-client: its lock folder, environment variables, and
// file modes in failure messages. Every bv-client the tests start keeps its lock in a
// folder of the test program's own (XDG_RUNTIME_DIR), never in the real user's.
namespace client_testing
{
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
