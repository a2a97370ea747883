#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "PipeContract.h"

// `bv-client doctor`: checks an installation step by step, from the module in REAPER's
// UserPlugins folder to a request's round trip, and says for each failed step what to do.
namespace doctor
{
struct Options
{
    std::string pluginsFolder; // empty: REAPER's default for this user
    std::string pipeName = pipe_contract::kPipeName;
    int timeoutMs = 3000;
};

struct Check
{
    enum class Status
    {
        pass,
        fail,
        notChecked // this system has no way to tell, or an earlier check failed first
    };

    std::string name;
    Status status = Status::fail;
    std::string detail;
    std::string advice; // what to do, when it failed

    // Failed because what it looks for is not there at all (no module, no FIFO, nothing
    // reading the requests), rather than there but wrong: the verdict tells these apart.
    bool absent = false;

    // Failed because of a file in the way that the verdict names instead of its own words
    // (a planted lock file): the whole verdict, what is wrong and what to do.
    std::string cause = {};
};

// Runs every check in order.
std::vector<Check> runChecks (const Options& options);

// One line that sums the checks up: what is wrong first, or that all is well.
std::string verdict (const std::vector<Check>& checks);

// Prints one line per check and the verdict; 0 when no check failed, else 1.
int runDoctor (const Options& options, std::ostream& out);
} // namespace doctor
