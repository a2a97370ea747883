#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The magic number at the start of every packet, in both directions.
constexpr std::uint32_t kPacketMagic = 0xf2b49e2cu;

// One packet as it goes on the wire: magic and payload length, both little-endian 32-bit,
// then the payload. Empty when the payload is too long for the signed length field.
std::string buildPacket (std::uint32_t magic, const void* payload, std::size_t size);
