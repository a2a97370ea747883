#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "PacketFramer.h"

// The lines every transport logs about what a client sent or left behind, written once.
namespace pipe_log_lines
{
// A client left in the middle of a packet: the rest can never come.
inline std::string incompletePacketDropped (std::size_t bytes)
{
    return "Dropped an incomplete packet of " + std::to_string (bytes) + " bytes: its client left";
}

// A header announced more than a request may be: the packet is skipped unread.
inline std::string oversizeSkipped (std::int64_t announcedSize)
{
    return "Skipped a packet of " + std::to_string (announcedSize) + " bytes: larger than the limit of "
           + std::to_string (PacketFramer::kMaxRequestSize) + " bytes";
}

// A client left with replies queued for it: they are dropped.
inline std::string queuedRepliesDropped (std::size_t count)
{
    return "Dropped " + std::to_string (count) + (count == 1 ? " queued reply" : " queued replies") + ": its client left";
}
} // namespace pipe_log_lines
