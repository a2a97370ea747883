#include "ReplyKinds.h"

#include "ProtocolParsing.h"
#include "ReplyFormatter.h"

namespace reply_kinds
{
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
} // namespace reply_kinds
