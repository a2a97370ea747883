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

// Nothing when payload may be this request's reply, else the file it names instead: a spot
// failure such as "Unable to find source file:/a.wav" that names another file than the spot
// asked for answers an earlier client's spot of the same kind. The path is compared as the
// extension quotes it: up to its first NUL, with each byte that does not begin well-formed
// UTF-8 replaced by U+FFFD.
std::optional<std::string> otherFileNamed (const PendingRequest& request, const std::string& payload);
} // namespace reply_kinds
