#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pipe/PacketBuilder.h"
#include "pipe/PacketFramer.h"

// The library application's end of the extension's pipe: writes request packets into
// /tmp/<name>_in and reads reply packets from /tmp/<name>_out. Never blocks past a timeout.
class PipeClient
{
public:
    explicit PipeClient (std::uint32_t magic = kPacketMagic);
    ~PipeClient();

    PipeClient (const PipeClient&) = delete;
    PipeClient& operator= (const PipeClient&) = delete;

    // Opens both FIFOs, retrying until timeoutMs while they are missing or have no reader.
    bool open (const std::string& pipeName, int timeoutMs);

    // Writes one packet carrying payload; true when all of it was written in time.
    bool send (const std::string& payload, int timeoutMs);

    // Writes bytes as they are, without a header.
    bool sendRaw (const std::string& bytes, int timeoutMs);

    // The next reply payload, or nothing when none arrived within timeoutMs. With 0 it
    // takes what has already arrived, without waiting.
    std::optional<std::string> receive (int timeoutMs);

    // Writes bytes into the reply FIFO, as a misbehaving client might.
    bool writeIntoReplyFifo (const std::string& bytes);

    void close();
    bool isOpen() const;

private:
    std::uint32_t magic;
    int requestFd = -1;
    int replyFd = -1;
    std::string replyPath;
    PacketFramer framer;
};
