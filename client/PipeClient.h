#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "PacketBuilder.h"
#include "PacketFramer.h"

// How opening the pipe went; on failure, which file and what is wrong with it.
struct PipeOpenResult
{
    enum class Status
    {
        open,
        missing,   // the file does not exist (still, at the deadline)
        noReader,  // the request FIFO exists but nothing reads it (still, at the deadline)
        untrusted, // the file is not a FIFO of this user closed to others: never opened for I/O
        denied,    // the system refused the open: permission denied
        failed     // any other error; reason says which
    };

    Status status = Status::failed;
    std::string path;
    std::string reason;
};

// The library application's end of the extension's pipe: writes request packets into
// /tmp/<name>_in and reads reply packets from /tmp/<name>_out. Never blocks past a timeout.
// Both files are checked before they are opened and again once open (see FifoTrust.h):
// nothing is written to, or read from, a file that is not this user's own FIFO.
class PipeClient
{
public:
    explicit PipeClient (std::uint32_t magic = pipe_contract::kPacketMagic);
    ~PipeClient();

    PipeClient (const PipeClient&) = delete;
    PipeClient& operator= (const PipeClient&) = delete;

    // Opens both FIFOs, retrying until timeoutMs while they are missing or have no reader.
    bool open (const std::string& pipeName, int timeoutMs);

    // How the last open went: on failure, which file and what is wrong with it.
    const PipeOpenResult& openResult() const
    {
        return lastOpen;
    }

    // Throws away whatever is waiting in the reply FIFO (replies meant for an earlier
    // client) and what was read of it; the number of bytes discarded.
    std::size_t discardWaiting();

    // Writes one packet carrying payload; true when all of it was written in time.
    bool send (const std::string& payload, int timeoutMs);

    // Writes bytes as they are, without a header.
    bool sendRaw (const std::string& bytes, int timeoutMs);

    // The next reply payload, or nothing when none arrived within timeoutMs. With 0 it
    // takes what has already arrived, without waiting.
    std::optional<std::string> receive (int timeoutMs);

    // Writes bytes into the reply FIFO, as a misbehaving client might.
    bool writeIntoReplyFifo (const std::string& bytes);

    // Closes the request end alone, as a client does that has sent all it will and still
    // reads its replies. Linux and macOS only: on Windows one handle carries both ways.
    void closeRequests();

    void close();
    bool isOpen() const;

private:
    std::uint32_t magic;
    int requestFd = -1;
    int replyFd = -1;
    std::string replyPath;
    PipeOpenResult lastOpen;
    PacketFramer framer;
};
