#pragma once

#include <cstddef>

#include "reaper.pb.h"

namespace BVReaper
{
// Decodes one request payload. False when the bytes are not a complete, well-formed
// ClientMessage or a required field is missing. Unlike MessageLite::ParseFromArray it
// writes nothing to standard error, which belongs to the host process, not to us.
bool parseClientMessage (const void* data, std::size_t size, ClientMessage& message);

// The same for a reply, as a peer of the extension reads it.
bool parseServerMessage (const void* data, std::size_t size, ServerMessage& message);
} // namespace BVReaper
