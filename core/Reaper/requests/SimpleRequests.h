#pragma once

#include "pipe/ReplyChannel.h"
#include "reaper.pb.h"

// The requests that need at most one REAPER call and a fixed-shape reply.
namespace simple_requests
{
// The version string every version reply carries.
inline constexpr const char* extensionVersion = "reaper ext 1.1";

// Logs "Info request"; the library application expects no answer.
void logInfoRequest();

// Answers with a VERSION reply carrying extensionVersion.
void replyWithVersion (ReplyChannel& replies);

// Answers with a RESPONSE whose text is REAPER's current project path.
void replyWithProjectPath (ReplyChannel& replies);

// Opens REAPER's Media Explorer on the request's path and answers with a bare COMMAND_RESULT.
void showInMediaExplorer (const BVReaper::ClientMessage& request, ReplyChannel& replies);
} // namespace simple_requests
