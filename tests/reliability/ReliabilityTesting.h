#pragma once

// What the reliability tests share: the real module in the stand-in host (the harness), a
// client's part of a test on a thread of its own, and the requests a client sends with the
// replies they must get.
#include "ClientThread.h"
#include "ExtensionHarness.h"
#include "PipeClient.h"
#include "RequestPayloads.h"

namespace reliability_testing
{
using request_payloads::ExpectedReply;
using testing_support::ExtensionHarness;
using testing_support::kTimedEmptyProject;
} // namespace reliability_testing
