#pragma once

#include <iosfwd>

#include "ClientPlan.h"

// Carries out a plan over the pipe: sends every request, pairs the replies with the
// requests by their order, prints one outcome per request to out and problems to err,
// and returns the exit code. Every wait is bounded by the plan's timeout.
int runRequests (const ClientPlan& plan, std::ostream& out, std::ostream& err);
