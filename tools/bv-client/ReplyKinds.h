#pragma once

#include <optional>
#include <string>

#include "ClientPlan.h"

// Telling a request's own reply from one meant for an earlier request. Replies carry no
// request identifier, but each kind of request gets one kind of reply; a reply of another
// kind is left over from a client that stopped waiting (REAPER still answers what it was
// sent) and must not be printed as this request's answer.
namespace reply_kinds
{
// The reply type this request is answered with; nothing when any reply will do (raw bytes
// that are not a request the extension knows).
std::optional<BVReaper::ServerMessage::Type> expectedFor (const PendingRequest& request);

// Empty when payload may be this request's reply, else the kind of reply it is (e.g.
// "command-result"). A payload that does not parse is taken as the reply: it cannot be
// told apart, and is reported as a failure.
std::string strayKind (const PendingRequest& request, const std::string& payload);
} // namespace reply_kinds
