#pragma once

#include <cstdint>
#include <vector>

// Something that can carry one encoded reply back to the library application as a packet.
// The pipe connection is one; tests use others.
class ReplySender
{
public:
    virtual ~ReplySender() = default;

    // True when the whole packet was written.
    virtual bool sendMessage (const std::vector<std::uint8_t>& message) = 0;
};
