#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pipe/ReplyChannel.h"

// A reply channel that only counts what it is given, so a benchmark measures the request's
// handling without any pipe.
class DiscardingSender : public ReplyChannel
{
public:
    bool sendMessage (std::vector<std::uint8_t> message) override
    {
        ++replies;
        bytes += message.size();
        return true;
    }

    std::size_t replies = 0;
    std::size_t bytes = 0;
};
