#pragma once

#include <string>

#include "PipeContract.h"

namespace reaper_host
{
// Which process serves the Belvanta extension's pipe, as its serving lock tells: the
// extension that serves holds an flock on the pipe's lock file (/tmp/bv_reaper.lock) and has
// written its process id into it; the others wait (PipeServingPosix.cpp). On Windows the
// lock is the pipe's name, and the pipe tells its server (PipeServingWindows.cpp).
struct PipeServing
{
    enum class State
    {
        thisProcess,
        otherProcess,
        nobody
    };

    State state = State::nobody;
    long processId = 0; // the server's, 0 when unknown
};

// Looks at the lock without ever holding it while someone else could want it: a lock that
// nobody holds is tried for an instant only.
PipeServing pipeServing (const std::string& lockPath = pipe_contract::servingLockPath (pipe_contract::kPipeName));

// True when an extension in this process serves: its process id is in the lock file. Reads
// the file only, never touching the lock, so it can be asked in a loop while another
// extension in this process waits to take the lock over.
bool pipeServedByThisProcess (const std::string& lockPath = pipe_contract::servingLockPath (pipe_contract::kPipeName));

// "served by this process (pid N)", "served by another process (pid N)", "not served".
std::string describe (const PipeServing& serving);
} // namespace reaper_host
