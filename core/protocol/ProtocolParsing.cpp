#include "ProtocolParsing.h"

#include <climits>

namespace BVReaper
{
namespace
{
bool parseQuietly (const void* data, std::size_t size, google::protobuf::MessageLite& message)
{
    if (size > static_cast<std::size_t> (INT_MAX))
    {
        message.Clear();
        return false;
    }

    // The partial parse does not check required fields and so never logs; the check
    // follows, silently.
    return message.ParsePartialFromArray (data, static_cast<int> (size)) && message.IsInitialized();
}
} // namespace

bool parseClientMessage (const void* data, std::size_t size, ClientMessage& message)
{
    return parseQuietly (data, size, message);
}

bool parseServerMessage (const void* data, std::size_t size, ServerMessage& message)
{
    return parseQuietly (data, size, message);
}
} // namespace BVReaper
