#include "requests/SimpleRequests.h"

#include <array>

#include "api/ReaperApi.h"
#include "logging/Log.h"
#include "pipe/ReplyChannel.h"
#include "reaper.pb.h"

namespace simple_requests
{
namespace
{
// REAPER writes the project path into a caller's buffer of this size.
constexpr int projectPathBufferSize = 4096;
} // namespace

void logInfoRequest()
{
    logging::writeToLog ("Info request");
}

void replyWithVersion (ReplyChannel& replies)
{
    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::VERSION);
    reply.mutable_version()->set_version (extensionVersion);
    sendReply (reply, replies);
}

void replyWithProjectPath (ReplyChannel& replies)
{
    // Zeroed, and the last byte kept NUL, so a host that fills the buffer completely
    // still leaves a terminated string.
    std::array<char, projectPathBufferSize> buffer{};
    reaper::GetProjectPath (buffer.data(), projectPathBufferSize);
    buffer.back() = 0;

    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::RESPONSE);
    reply.mutable_response()->set_text (std::string (buffer.data()));
    sendReply (reply, replies);
}

void showInMediaExplorer (const BVReaper::ClientMessage& request, ReplyChannel& replies)
{
    BV_ASSERT (request.has_open_project());

    // REAPER takes a NUL-terminated string, so the path ends at its first NUL for REAPER
    // and for the log alike.
    const char* path = request.open_project().path().c_str();

    logging::writeToLog (logging::lineOf ("Open Media Explorer Item:", path));
    reaper::OpenMediaExplorer (path, true);

    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);
    sendReply (reply, replies);
}
} // namespace simple_requests
