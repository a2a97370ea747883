#pragma once

#include <string>

#include "PacketBuilder.h"
#include "reaper.pb.h"

namespace client_testing
{
// A whole reply packet the extension never sent: a version that reads "reaper ext 6.6
// FORGED", as someone who planted the reply FIFO would leave there.
inline std::string forgedVersionPacket()
{
    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::VERSION);
    reply.mutable_version()->set_version ("reaper ext 6.6 FORGED");
    const auto payload = reply.SerializeAsString();
    return buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
}
} // namespace client_testing
