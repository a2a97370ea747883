#include "ReplyKinds.h"

#include "ProtocolParsing.h"
#include "ReplyFormatter.h"
#include "Utf8Text.h"

namespace reply_kinds
{
namespace
{
// The failure texts of a spot that name its file; the others ("No track", "Invalid play
// rate: ...") name none.
const std::string kMissingSource = "Unable to find source file:";
} // namespace

std::optional<BVReaper::ServerMessage::Type> expectedFor (const PendingRequest& request)
{
    auto message = request.message;

    if (request.isRaw && !BVReaper::parseClientMessage (request.rawPayload.data(), request.rawPayload.size(), message))
        return std::nullopt;

    switch (message.type())
    {
        case BVReaper::ClientMessage::VERSION_REQUEST:
            return BVReaper::ServerMessage::VERSION;
        case BVReaper::ClientMessage::SESSION_REQUEST:
        case BVReaper::ClientMessage::SELECTED_FILE_REQUEST:
            return BVReaper::ServerMessage::RESPONSE;
        case BVReaper::ClientMessage::SPOT_COMMAND:
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            return BVReaper::ServerMessage::COMMAND_RESULT;
        case BVReaper::ClientMessage::INFO_REQUEST:
            break;
    }

    return std::nullopt;
}

std::string strayKind (const PendingRequest& request, const std::string& payload)
{
    const auto expected = expectedFor (request);
    BVReaper::ServerMessage reply;

    if (!expected || !BVReaper::parseServerMessage (payload.data(), payload.size(), reply) || reply.type() == *expected)
        return {};

    return reply_formatter::replyTypeName (reply.type());
}

std::optional<std::string> otherFileNamed (const PendingRequest& request, const std::string& payload)
{
    BVReaper::ServerMessage reply;

    if (request.isRaw || request.message.type() != BVReaper::ClientMessage::SPOT_COMMAND
        || !BVReaper::parseServerMessage (payload.data(), payload.size(), reply) || !reply.has_error())
        return std::nullopt;

    const auto& text = reply.error().description();

    if (text.compare (0, kMissingSource.size(), kMissingSource) != 0)
        return std::nullopt;

    auto named = text.substr (kMissingSource.size());

    // The extension names the file as utf8::sanitized writes it.
    if (named == utf8::sanitized (request.message.spot().file_path()))
        return std::nullopt;

    return named;
}
} // namespace reply_kinds
