#include "ClientEnvironment.h"

#include <cstdio>
#include <memory>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "FifoTrust.h"
#include "ScopedVariable.h"

namespace client_testing
{
namespace
{
// bv-client keeps its lock in XDG_RUNTIME_DIR, else below HOME: every bv-client these tests
// start gets a folder of its own there, not the real user's.
class ClientLockFolder : public testing::Environment
{
public:
    void SetUp() override
    {
        folder = std::make_unique<TemporaryFolder>();
        variable = std::make_unique<testing_support::ScopedVariable> ("XDG_RUNTIME_DIR", folder->path());
    }

    void TearDown() override
    {
        variable.reset();
        folder.reset();
    }

private:
    std::unique_ptr<TemporaryFolder> folder;
    std::unique_ptr<testing_support::ScopedVariable> variable;
};

[[maybe_unused]] testing::Environment* const clientLockFolder = testing::AddGlobalTestEnvironment (new ClientLockFolder);
} // namespace

std::string describeMode (const std::string& path)
{
    struct stat info;

    if (lstat (path.c_str(), &info) != 0)
        return "(none)";

    char mode[8];
    std::snprintf (mode, sizeof (mode), "%04o", static_cast<unsigned> (info.st_mode & 07777));
    return std::string (mode) + " (" + fifo_trust::kindOf (info.st_mode) + " of uid " + std::to_string (info.st_uid) + ")";
}
} // namespace client_testing
