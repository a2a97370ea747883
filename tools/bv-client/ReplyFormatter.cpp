#include "ReplyFormatter.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace reply_formatter
{
namespace
{
const char* requestName (BVReaper::ClientMessage::Type type)
{
    switch (type)
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

// Strings from the extension are UTF-8 by contract, but a JSON dump must not fail on
// bytes that are not; those are replaced.
std::string dumpJson (const nlohmann::json& object)
{
    return object.dump (-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
} // namespace

std::string toHex (const std::string& bytes)
{
    std::string hex;
    char buffer[4];

    for (unsigned char c : bytes)
    {
        std::snprintf (buffer, sizeof (buffer), hex.empty() ? "%02X" : " %02X", c);
        hex += buffer;
    }

    return hex;
}

Outcome describe (const BVReaper::ClientMessage& request, const BVReaper::ServerMessage& reply, const std::string& label, bool asJson)
{
    Outcome outcome;
    outcome.failed = reply.has_error();

    if (asJson)
    {
        nlohmann::json object;
        object["request"] = requestName (request.type());
        if (!label.empty())
            object["target"] = label;
        object["reply"] = replyTypeName (reply.type());
        object["ok"] = !outcome.failed;
        if (reply.has_error())
            object["error"] = reply.error().description();
        if (reply.has_version())
            object["version"] = reply.version().version();
        if (reply.has_response() && reply.response().has_text())
            object["text"] = reply.response().text();
        outcome.text = dumpJson (object);
        return outcome;
    }

    switch (request.type())
    {
        case BVReaper::ClientMessage::SPOT_COMMAND:
            outcome.text = outcome.failed ? "failed: " + label + ": " + reply.error().description()
                                          : "spotted: " + label;
            break;
        case BVReaper::ClientMessage::OPEN_PROJECT_REQUEST:
            outcome.text = outcome.failed ? "failed: " + reply.error().description() : "opened in Media Explorer: " + label;
            break;
        default:
            if (reply.has_version())
                outcome.text = reply.version().version();
            else if (reply.has_response())
                outcome.text = reply.response().text();
            else if (reply.has_error())
                outcome.text = "error: " + reply.error().description();
            else
                outcome.text = replyTypeName (reply.type());
            break;
    }

    return outcome;
}

Outcome describeUnparsable (const std::string& payload, bool asJson)
{
    Outcome outcome;
    outcome.failed = true;

    if (asJson)
        outcome.text = dumpJson ({{"reply", "unparsable"}, {"ok", false}, {"bytes", toHex (payload)}});
    else
        outcome.text = "unparsable reply: " + toHex (payload);

    return outcome;
}
} // namespace reply_formatter
