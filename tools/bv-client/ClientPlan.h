#pragma once

#include <string>
#include <vector>

#include "PipeContract.h"
#include "reaper.pb.h"

// One request as the client will send it: the message (or raw bytes) and how to report it.
struct PendingRequest
{
    BVReaper::ClientMessage message;
    std::string label; // what the request is about, e.g. the spotted file
    bool expectsReply = true;
    bool isRaw = false; // payload holds bytes given by the user, not message
    std::string rawPayload;

    std::string payload() const
    {
        return isRaw ? rawPayload : message.SerializeAsString();
    }
};

// Everything the command line asked for: where to talk, how to print, what to send.
struct ClientPlan
{
    std::string pipeName = pipe_contract::kPipeName;
    int timeoutMs = 3000;
    bool json = false;
    std::vector<PendingRequest> requests;

    // `doctor`: check the installation instead of sending requests.
    bool doctor = false;
    std::string pluginsFolder; // empty: REAPER's default
};
