// The tests' main() in the build with the macOS platform files: the tests run on a thread
// of their own while this process's first thread runs the main dispatch queue, as
// reaper-sim does on macOS (HostMainThread.h).

#include <gtest/gtest.h>

#include "HostMainThread.h"

namespace
{
int runTests (int, char**)
{
    return RUN_ALL_TESTS();
}
} // namespace

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    return reaper_host::host_main_thread::runProgram (&runTests, argc, argv);
}
