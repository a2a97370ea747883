#include "ReplyKinds.h"

#include <algorithm>

#include "ProtocolParsing.h"
#include "ReplyFormatter.h"

namespace reply_kinds
{
namespace
{
// The failure texts of a spot that name its file; the others ("No track", "Invalid play
// rate: ...") name none.
const std::string kMissingSource = "Unable to find source file:";

// The length of the well-formed UTF-8 sequence at p, 0 when none starts there.
std::size_t wellFormedLength (const unsigned char* p, std::size_t left)
{
    std::size_t length = 1;
    char32_t codePoint = p[0], smallest = 0;

    if (p[0] < 0x80)
        return 1;
    if ((p[0] & 0xE0) == 0xC0)
        length = 2, codePoint = p[0] & 0x1Fu, smallest = 0x80;
    else if ((p[0] & 0xF0) == 0xE0)
        length = 3, codePoint = p[0] & 0x0Fu, smallest = 0x800;
    else if ((p[0] & 0xF8) == 0xF0)
        length = 4, codePoint = p[0] & 0x07u, smallest = 0x10000;
    else
        return 0;

    if (left < length)
        return 0;

    for (std::size_t k = 1; k < length; ++k)
    {
        if ((p[k] & 0xC0) != 0x80)
            return 0;

        codePoint = (codePoint << 6) | (p[k] & 0x3Fu);
    }

    const bool valid = codePoint >= smallest && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
    return valid ? length : 0;
}

// A path as the extension writes it into a failure text.
std::string asQuoted (const std::string& bytes)
{
    const auto size = std::min (bytes.find ('\0'), bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*> (bytes.data());
    std::string text;

    for (std::size_t i = 0; i < size;)
    {
        const auto length = wellFormedLength (data + i, size - i);

        if (length == 0)
            text += "\xEF\xBF\xBD", ++i;
        else
            text.append (bytes, i, length), i += length;
    }

    return text;
}
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

    if (named == asQuoted (request.message.spot().file_path()))
        return std::nullopt;

    return named;
}
} // namespace reply_kinds
