// bv-client: plays the library application's side of the pipe, for scripting and
// diagnosis. Sends one or more requests, reads the replies in order and prints them.

#include <iostream>

#include "CommandLine.h"
#include "Doctor.h"
#include "RequestRunner.h"

int main (int argc, char** argv)
{
    const auto commandLine = parseCommandLine (argc, argv);

    if (!commandLine.proceed)
        return commandLine.exitCode;

    const auto& plan = commandLine.plan;

    if (plan.doctor)
        return doctor::runDoctor ({plan.pluginsFolder, plan.pipeName, plan.timeoutMs}, std::cout);

    return runRequests (plan, std::cout, std::cerr);
}
