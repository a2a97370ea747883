#include "RequestPayloads.h"

#include <algorithm>

#include "ProtocolParsing.h"
#include "reaper.pb.h"

namespace request_payloads
{
namespace
{
std::string encode (const BVReaper::ClientMessage& message)
{
    std::string bytes;
    message.SerializeToString (&bytes);
    return bytes;
}

std::string ofType (BVReaper::ClientMessage::Type type)
{
    BVReaper::ClientMessage message;
    message.set_type (type);
    return encode (message);
}

BVReaper::ClientMessage spotMessage (const std::string& path, const std::string& takeName)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    message.mutable_spot()->set_file_path (path);
    message.mutable_spot()->set_take_name (takeName);
    return message;
}
} // namespace

std::string version()
{
    return ofType (BVReaper::ClientMessage::VERSION_REQUEST);
}

std::string info()
{
    return ofType (BVReaper::ClientMessage::INFO_REQUEST);
}

std::string session()
{
    return ofType (BVReaper::ClientMessage::SESSION_REQUEST);
}

std::string selectedItem()
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SELECTED_FILE_REQUEST);
    message.mutable_selected_file();
    return encode (message);
}

std::string openInMediaExplorer (const std::string& path)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::OPEN_PROJECT_REQUEST);
    message.mutable_open_project()->set_path (path);
    return encode (message);
}

std::string spot (const std::string& path, const std::string& takeName)
{
    return encode (spotMessage (path, takeName));
}

std::string spot (const std::string& path, const std::string& takeName, float startOffset, float volume)
{
    auto message = spotMessage (path, takeName);
    message.mutable_spot()->set_start_offset (startOffset);
    message.mutable_spot()->set_volume (volume);
    return encode (message);
}

std::string paddedTo (const std::string& request, std::size_t totalSize)
{
    BVReaper::ClientMessage message;

    if (request.size() >= totalSize || !message.ParseFromString (request))
        return request;

    // The padding is an open-project path, which the extension reads only in an open-project
    // request. The length prefixes grow with it: shrink it until the whole fits, then fill up.
    auto* padding = message.mutable_open_project()->mutable_path();
    padding->assign (totalSize, 'x');

    while (message.ByteSizeLong() > totalSize && !padding->empty())
        padding->resize (padding->size() - std::min (padding->size(), message.ByteSizeLong() - totalSize));

    while (message.ByteSizeLong() < totalSize)
        padding->push_back ('x');

    return encode (message);
}

std::string undecodable()
{
    return std::string ("\x08\x07", 2); // a type outside 1 to 6
}

std::string versionReply()
{
    BVReaper::ServerMessage message;
    message.set_type (BVReaper::ServerMessage::VERSION);
    message.mutable_version()->set_version ("reaper ext 1.1");
    return message.SerializeAsString();
}

std::string mismatch (const std::string& replyPayload, const ExpectedReply& expected)
{
    BVReaper::ServerMessage reply;

    if (!BVReaper::parseServerMessage (replyPayload.data(), replyPayload.size(), reply))
        return "the reply does not decode";

    switch (expected.kind)
    {
        case ExpectedReply::Kind::version:
            if (reply.type() != BVReaper::ServerMessage::VERSION || reply.version().version() != "reaper ext 1.1")
                return "expected the version reply, got type " + std::to_string (reply.type());
            return {};

        case ExpectedReply::Kind::responseText:
            if (reply.type() != BVReaper::ServerMessage::RESPONSE || reply.response().text() != expected.text)
                return "expected a response with \"" + expected.text.substr (0, 60) + "\", got type "
                       + std::to_string (reply.type()) + " with \"" + reply.response().text().substr (0, 60) + "\"";
            return {};

        case ExpectedReply::Kind::commandResult:
            if (reply.type() != BVReaper::ServerMessage::COMMAND_RESULT || reply.has_error())
                return "expected a command result without error, got type " + std::to_string (reply.type())
                       + (reply.has_error() ? " with error " + reply.error().description() : std::string());
            return {};
    }

    return "unknown expectation";
}

bool isVersionReply (const std::string& replyPayload)
{
    return mismatch (replyPayload, {ExpectedReply::Kind::version, {}}).empty();
}

bool isSuccessfulCommandResult (const std::string& replyPayload)
{
    return mismatch (replyPayload, {ExpectedReply::Kind::commandResult, {}}).empty();
}
} // namespace request_payloads
