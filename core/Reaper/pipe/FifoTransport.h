#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "pipe/FifoPair.h"
#include "pipe/PipeReader.h"
#include "pipe/PipeTransport.h"
#include "pipe/ReplyWriter.h"

// The pipe as two FIFOs in /tmp (Linux and macOS): the files are FifoPair's, reading is
// PipeReader's, writing ReplyWriter's. Clients are told apart by the request FIFO's
// end-of-file alone (see PipeReader): a request carries the number of clients that had left
// before it was read, and ReplyWriter decides by that number whose replies may still go.
class FifoTransport : public PipeTransport
{
public:
    explicit FifoTransport (std::uint32_t magic);
    ~FifoTransport() override;

    Outcome open (const std::string& pipeName, int timeoutMs, bool mustNotExist, Events events) override;
    bool start() override;
    std::function<void()> roomAgain() const override;
    bool write (std::vector<std::uint8_t> message, unsigned client, AfterReply afterward) override;
    void beginRun() override;
    void endRun() override;
    std::size_t unwritten() const override;
    unsigned departures() const override;
    bool stillInPlace() const override;
    void close (bool removeFiles) override;

private:
    const std::uint32_t magic;
    ReplyWriter replies;

    // Held while the FIFO pair is made, looked at or closed.
    mutable std::mutex lock;
    std::optional<FifoPair> fifos;
    std::unique_ptr<PipeReader> reader;

    // Clients that have left since the pipe was made: the number of the client whose packets
    // are being read now (the reader thread's).
    std::atomic<unsigned> clientsLeft{0};
};
