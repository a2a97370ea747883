#include "ClientRequests.h"

#include <cctype>
#include <filesystem>

namespace client_requests
{
BVReaper::ClientMessage spot (const std::string& file, const SpotOptions& options)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    auto* spot = message.mutable_spot();
    spot->set_file_path (file);

    if (options.takeName)
        spot->set_take_name (*options.takeName);
    if (options.startOffset)
        spot->set_start_offset (*options.startOffset);
    if (options.endOffset)
        spot->set_end_offset (*options.endOffset);
    if (options.poolOnly)
        spot->set_pool_only (true);
    if (options.playRate)
        spot->set_play_rate (*options.playRate);
    if (options.preservePitch)
        spot->set_preserve_pitch (true);
    if (options.volume)
        spot->set_volume (*options.volume);

    return message;
}

BVReaper::ClientMessage simple (BVReaper::ClientMessage::Type type)
{
    BVReaper::ClientMessage message;
    message.set_type (type);
    return message;
}

BVReaper::ClientMessage explore (const std::string& file)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::OPEN_PROJECT_REQUEST);
    message.mutable_open_project()->set_path (file);
    return message;
}

std::string absolutePath (const std::string& file)
{
    if (file.empty())
        return file;

    std::error_code error;
    const auto absolute = std::filesystem::absolute (file, error);
    return error ? file : absolute.lexically_normal().string();
}

std::optional<std::string> bytesFromHex (const std::string& hex)
{
    std::string bytes;
    int pending = -1;

    for (unsigned char c : hex)
    {
        if (c == ' ' || c == ':' || c == '\t')
            continue;

        if (!std::isxdigit (c))
            return std::nullopt;

        const int digit = std::isdigit (c) ? c - '0' : std::tolower (c) - 'a' + 10;

        if (pending < 0)
        {
            pending = digit;
        }
        else
        {
            bytes.push_back (static_cast<char> (pending * 16 + digit));
            pending = -1;
        }
    }

    if (pending >= 0)
        return std::nullopt;

    return bytes;
}
} // namespace client_requests
