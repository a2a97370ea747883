#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Subprocess.h"

namespace client_testing
{
using testing_support::asUser;
using testing_support::OtherUser;
using testing_support::otherUser;
using testing_support::RunResult;
using testing_support::Subprocess;

// How bv-client is started in the tests: its standard error apart from its standard
// output, since the tests read each.
inline testing_support::ProcessSetup clientSetup (const std::string& workingDirectory = {}, const std::optional<OtherUser>& runAs = {})
{
    testing_support::ProcessSetup setup;
    setup.workingDirectory = workingDirectory;
    setup.runAs = runAs;
    setup.errorsApart = true;
    return setup;
}

// Runs bv-client with no main loop to keep going (nothing in this process answers).
inline RunResult runClient (const std::vector<std::string>& arguments, std::chrono::milliseconds deadline = std::chrono::seconds (10))
{
    return testing_support::runProgram (arguments, {}, clientSetup(), deadline);
}
} // namespace client_testing
