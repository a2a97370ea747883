// bv-client: plays the library application's side of the pipe, for scripting and
// diagnosis. Sends one or more requests, reads the replies in order and prints them.

#include <iostream>

#include "CommandLine.h"
#include "RequestRunner.h"

int main (int argc, char** argv)
{
    const auto commandLine = parseCommandLine (argc, argv);

    if (!commandLine.proceed)
        return commandLine.exitCode;

    return runRequests (commandLine.plan, std::cout, std::cerr);
}
