#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "PipeContract.h"

// One packet as it goes on the wire: magic and payload length, both little-endian 32-bit,
// then the payload. Empty when the payload is too long for the signed length field.
std::string buildPacket (std::uint32_t magic, const void* payload, std::size_t size);

// The header alone of a packet whose payload is size bytes long (written beside the payload).
// Empty when the payload is too long.
std::string packetHeader (std::uint32_t magic, std::size_t size);
