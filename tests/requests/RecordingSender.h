#pragma once

#include <string>
#include <vector>

#include "LogCapture.h"
#include "ProtocolParsing.h"
#include "pipe/ReplyChannel.h"

namespace handler_testing
{
// A reply channel that keeps every packet it is given.
class RecordingSender : public ReplyChannel
{
public:
    explicit RecordingSender (LogCapture* logToInterleave = nullptr)
        : log (logToInterleave)
    {
    }

    bool sendMessage (std::vector<std::uint8_t> message) override
    {
        packets.emplace_back (message.begin(), message.end());
        if (log != nullptr)
            log->events.push_back ("send");
        return succeed;
    }

    // The only reply, decoded; fails the calling test when there is not exactly one.
    BVReaper::ServerMessage onlyReply() const
    {
        BVReaper::ServerMessage reply;
        if (packets.size() == 1)
            BVReaper::parseServerMessage (packets[0].data(), packets[0].size(), reply);
        return reply;
    }

    std::vector<std::string> packets;
    bool succeed = true;

private:
    LogCapture* log;
};
} // namespace handler_testing
