#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace google::protobuf
{
class MessageLite;
}

// One encoded message, shared rather than copied until the send puts it behind its header.
using SerializedMessage = std::shared_ptr<const std::vector<std::uint8_t>>;

// Encodes message into a block of exactly its encoded size. Empty when the size is 0 or
// encoding fails (the failure is logged).
SerializedMessage serializeMessage (const google::protobuf::MessageLite& message);
