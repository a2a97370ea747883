#include "RequestPayloads.h"

#include "reaper.pb.h"

namespace request_payloads
{
std::string versionRequest()
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::VERSION_REQUEST);
    return message.SerializeAsString();
}

std::string largeVersionRequest (std::size_t totalSize)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::VERSION_REQUEST);
    auto* padding = message.mutable_open_project()->mutable_path();

    // The length prefixes grow with the path; shrink the path until the whole fits.
    padding->assign (totalSize, 'x');

    while (message.ByteSizeLong() > totalSize && !padding->empty())
        padding->resize (padding->size() - (message.ByteSizeLong() - totalSize));

    while (message.ByteSizeLong() < totalSize)
        padding->push_back ('x');

    return message.SerializeAsString();
}

std::string spotRequest (const std::string& audioPath)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    auto* spot = message.mutable_spot();
    spot->set_file_path (audioPath);
    spot->set_take_name ("Door slam");
    spot->set_start_offset (0.5f);
    spot->set_volume (0.8f);
    return message.SerializeAsString();
}

std::string versionReply()
{
    BVReaper::ServerMessage message;
    message.set_type (BVReaper::ServerMessage::VERSION);
    message.mutable_version()->set_version ("reaper ext 1.1");
    return message.SerializeAsString();
}

bool isVersionReply (const std::string& payload)
{
    BVReaper::ServerMessage message;
    return message.ParseFromString (payload) && message.type() == BVReaper::ServerMessage::VERSION && message.has_version();
}

bool isSuccessfulCommandResult (const std::string& payload)
{
    BVReaper::ServerMessage message;
    return message.ParseFromString (payload) && message.type() == BVReaper::ServerMessage::COMMAND_RESULT && !message.has_error();
}
} // namespace request_payloads
