#pragma once

#include <string>

#include "ClientPlan.h"

// Turns a reply into what the client prints: a readable line, or one JSON object.
namespace reply_formatter
{
struct Outcome
{
    std::string text;
    bool failed = false; // the extension reported a failure, or the reply made no sense
};

// The reply payload to a request, parsed here; raw requests print the bytes as well.
Outcome describeReply (const PendingRequest& request, const std::string& payload, bool asJson);

// What is printed for a request that gets no reply (an info request): that it was sent.
Outcome describeSent (const PendingRequest& request, bool asJson);

// The readable name of the request, as the subcommand that sends it.
std::string requestName (const PendingRequest& request);

// The reply type as printed and in JSON, e.g. "command-result".
const char* replyTypeName (BVReaper::ServerMessage::Type type);

std::string toHex (const std::string& bytes);
} // namespace reply_formatter
