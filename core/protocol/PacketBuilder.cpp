#include "PacketBuilder.h"

#include <cstdint>

#include "PacketFramer.h"

namespace
{
void appendLittleEndian32 (std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back (static_cast<char> ((value >> shift) & 0xffu));
}
} // namespace

std::string packetHeader (std::uint32_t magic, std::size_t size)
{
    if (size > static_cast<std::size_t> (INT32_MAX))
        return {};

    std::string header;
    header.reserve (PacketFramer::kHeaderSize);
    appendLittleEndian32 (header, magic);
    appendLittleEndian32 (header, static_cast<std::uint32_t> (size));
    return header;
}

std::string buildPacket (std::uint32_t magic, const void* payload, std::size_t size)
{
    auto packet = packetHeader (magic, size);

    if (packet.empty())
        return {};

    packet.reserve (PacketFramer::kHeaderSize + size);

    if (size > 0)
        packet.append (static_cast<const char*> (payload), size);

    return packet;
}
