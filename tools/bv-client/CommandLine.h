#pragma once

#include "ClientPlan.h"

// The outcome of reading the command line: a plan to carry out, or an exit code when
// there is nothing to send (--help, or arguments that are wrong; CLI11 has printed why).
struct CommandLineResult
{
    ClientPlan plan;
    bool proceed = false;
    int exitCode = 0;
};

// Reads bv-client's arguments. Options such as --json, --timeout and --pipe may stand
// before or after the subcommand.
CommandLineResult parseCommandLine (int argc, const char* const* argv);
