#include "ReplyFormatter.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "../common/HexText.h"
#include "ProtocolParsing.h"

namespace reply_formatter
{
namespace
{
// Strings from the extension are UTF-8 by contract, but a JSON dump must not fail on
// bytes that are not; those are replaced.
std::string dumpJson (const nlohmann::json& object)
{
    return object.dump (-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The selected-item report uses CR LF line ends; a terminal wants LF.
std::string withUnixLineEnds (std::string text)
{
    std::string::size_type at = 0;

    while ((at = text.find ("\r\n", at)) != std::string::npos)
        text.erase (at, 1);

    return text;
}

bool isSelectedItemRequest (const PendingRequest& request)
{
    return !request.isRaw && request.message.type() == BVReaper::ClientMessage::SELECTED_FILE_REQUEST;
}

void addReplyFields (nlohmann::json& object, const PendingRequest& request, const BVReaper::ServerMessage& reply)
{
    object["reply"] = replyTypeName (reply.type());
    object["ok"] = !reply.has_error();

    if (reply.has_error())
        object["error"] = reply.error().description();
    if (reply.has_version())
        object["version"] = reply.version().version();
    if (reply.has_response() && reply.response().has_text())
    {
        object["text"] = reply.response().text();

        // The report is JSON itself; as an object a script can pick members out of it.
        if (isSelectedItemRequest (request))
        {
            auto item = nlohmann::json::parse (reply.response().text(), nullptr, false);

            if (!item.is_discarded())
                object["item"] = std::move (item);
        }
    }
}

std::string readableLine (const PendingRequest& request, const BVReaper::ServerMessage& reply)
{
    const bool failed = reply.has_error();

    switch (request.message.type())
    {
        case BVReaper::ClientMessage::SPOT_COMMAND:
            return failed ? "failed: " + request.label + ": " + reply.error().description()
                          : "spotted: " + request.label;
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            return failed ? "failed: " + reply.error().description() : "shown in Media Explorer: " + request.label;
        default:
            break;
    }

    if (reply.has_version())
        return reply.version().version();
    if (reply.has_response())
        return withUnixLineEnds (reply.response().text());
    if (reply.has_error())
        return "failed: " + reply.error().description();

    return replyTypeName (reply.type());
}
} // namespace

const char* replyTypeName (BVReaper::ServerMessage::Type type)
{
    switch (type)
    {
        case BVReaper::ServerMessage::RESPONSE:
            return "response";
        case BVReaper::ServerMessage::ERROR:
            return "error";
        case BVReaper::ServerMessage::VERSION:
            return "version";
        case BVReaper::ServerMessage::COMMAND_RESULT:
            return "command-result";
    }

    return "unknown";
}

std::string requestName (const PendingRequest& request)
{
    if (request.isRaw)
        return "raw";

    switch (request.message.type())
    {
        case BVReaper::ClientMessage::SPOT_COMMAND:
            return "spot";
        case BVReaper::ClientMessage::INFO_REQUEST:
            return "info";
        case BVReaper::ClientMessage::VERSION_REQUEST:
            return "version";
        case BVReaper::ClientMessage::SESSION_REQUEST:
            return "project-path";
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            return "explore";
        case BVReaper::ClientMessage::SELECTED_FILE_REQUEST:
            return "selected";
    }

    return "unknown";
}

std::string toHex (const std::string& bytes)
{
    return hex_text::toHex (bytes);
}

Outcome describeReply (const PendingRequest& request, const std::string& payload, bool asJson)
{
    BVReaper::ServerMessage reply;
    const bool parsed = BVReaper::parseServerMessage (payload.data(), payload.size(), reply);

    Outcome outcome;
    outcome.failed = !parsed || reply.has_error();

    if (asJson)
    {
        nlohmann::json object;
        object["request"] = requestName (request);
        if (!request.label.empty())
            object["target"] = request.label;

        if (parsed)
            addReplyFields (object, request, reply);
        else
        {
            object["reply"] = "unparsable";
            object["ok"] = false;
        }

        if (request.isRaw || !parsed)
            object["bytes"] = toHex (payload);

        outcome.text = dumpJson (object);
    }
    else if (request.isRaw)
        outcome.text = toHex (payload);
    else if (!parsed)
        outcome.text = "unparsable reply: " + toHex (payload);
    else
        outcome.text = readableLine (request, reply);

    return outcome;
}

Outcome describeSent (const PendingRequest& request, bool asJson)
{
    Outcome outcome;

    if (asJson)
        outcome.text = dumpJson ({{"request", requestName (request)}, {"reply", "none"}, {"ok", true}});
    else
        outcome.text = "sent " + requestName (request) + " request (the extension does not answer it)";

    return outcome;
}
} // namespace reply_formatter
