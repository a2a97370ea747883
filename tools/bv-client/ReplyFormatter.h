#pragma once

#include <string>

#include "reaper.pb.h"

// Turns a reply into what the client prints: a readable line, or one JSON object.
namespace reply_formatter
{
struct Outcome
{
    std::string text;
    bool failed = false; // the extension reported a failure (a spot's error text)
};

// label names the request (for example the spotted file) in the readable form.
Outcome describe (const BVReaper::ClientMessage& request, const BVReaper::ServerMessage& reply, const std::string& label, bool asJson);

// For replies that do not parse as a ServerMessage.
Outcome describeUnparsable (const std::string& payload, bool asJson);

std::string toHex (const std::string& bytes);
} // namespace reply_formatter
