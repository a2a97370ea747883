#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PipeClient.h"

// What the library application does in the end-to-end benchmarks, run on a client thread.
namespace client_jobs
{
// Sends the request, waits for its reply, and repeats; the round-trip time of each, in µs.
// Stops early (fewer samples) when a reply does not come or fails the check.
std::vector<double> roundTrips (PipeClient& client, const std::string& request, int count,
                                const std::function<bool (const std::string&)>& replyIsRight);

struct PipelinedResult
{
    int answered = 0;                     // replies that arrived and passed the check
    double seconds = 0;                   // from the first write to the last reply
    std::vector<double> waitMicroseconds; // per request: from its write to its reply
};

// Writes `count` requests back to back from one thread while this one reads the replies.
PipelinedResult pipelined (PipeClient& client, const std::string& request, int count,
                           const std::function<bool (const std::string&)>& replyIsRight);
} // namespace client_jobs
