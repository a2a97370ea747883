#pragma once

#include <cstdint>
#include <vector>

// Something that can carry one encoded reply back to the library application as a packet.
// The pipe connection is one; tests use others.
class ReplySender
{
public:
    virtual ~ReplySender() = default;

    // True when the packet was taken to be written (the pipe writes it in turn, without
    // holding up the caller).
    virtual bool sendMessage (const std::vector<std::uint8_t>& message) = 0;
};
