// reaper-sim tells who serves the extension's pipe from the lock file: the process id in it,
// and whether anyone holds the lock.

#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PipeServing.h"
#include "TempDirectory.h"

using reaper_host::PipeServing;

TEST (PipeServing, TheLockFilesProcessIdAndHolderTellWhoServes)
{
    struct Case
    {
        const char* name;
        bool fileExists;
        long processIdInFile;
        bool held;
        PipeServing::State state;
        std::string description;
    };

    const long self = (long) ::getpid();
    const std::vector<Case> cases = {
        {"no lock file", false, 0, false, PipeServing::State::nobody, "not served"},
        {"left by a process that ended", true, 999999, false, PipeServing::State::nobody, "not served"},
        {"held by another process", true, 4321, true, PipeServing::State::otherProcess, "served by another process (pid 4321)"},
        {"held, no process id written yet", true, 0, true, PipeServing::State::otherProcess, "served by another process"},
        {"this process's id", true, self, true, PipeServing::State::thisProcess, "served by this process (pid " + std::to_string (self) + ")"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        testing_support::TempDirectory folder;
        const auto lockPath = folder.path ("bv_reaper.lock");
        int holder = -1;

        if (c.fileExists)
        {
            std::ofstream (lockPath) << (c.processIdInFile > 0 ? std::to_string (c.processIdInFile) + "\n" : std::string());
            holder = ::open (lockPath.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE (holder, 0);

            if (c.held)
            {
                ASSERT_EQ (::flock (holder, LOCK_EX | LOCK_NB), 0);
            }
        }

        const auto serving = reaper_host::pipeServing (lockPath);
        EXPECT_EQ (serving.state, c.state);
        EXPECT_EQ (reaper_host::describe (serving), c.description);
        EXPECT_EQ (reaper_host::pipeServedByThisProcess (lockPath), c.state == PipeServing::State::thisProcess);

        // Looking never takes a lock that someone holds, nor keeps one.
        if (holder >= 0)
        {
            const int other = ::open (lockPath.c_str(), O_RDONLY | O_CLOEXEC);
            EXPECT_EQ (::flock (other, LOCK_EX | LOCK_NB) == 0, !c.held);
            ::close (other);
            ::close (holder);
        }
    }
}
