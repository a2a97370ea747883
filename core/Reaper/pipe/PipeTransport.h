#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Outcome.h"
#include "pipe/ReplyChannel.h"

// What carries the packets under the connection, one kind per system: two FIFOs on Linux and
// macOS (FifoTransport), one duplex named pipe with an instance per client on Windows
// (WindowsPipeTransport.cpp). The connection above it is the same for both: the inbox, the
// delivery budget, the gate and the listener. A transport reads and writes on threads of its
// own, so REAPER's main thread never waits on a client.
class PipeTransport
{
public:
    // What the transport tells the connection, set by open().
    struct Events
    {
        // A whole payload from the given client: a number that the reply to it carries back
        // to write(). [transport threads]
        std::function<void (std::vector<std::uint8_t>&&, unsigned client)> packetReceived;

        // Reading cannot go on (not a client leaving: the pipe itself failed). [transport threads]
        std::function<void()> readFailed;

        // Asked before each read with the bytes of a packet read in part: while it answers
        // false nothing more is read until roomAgain() is called. [transport threads]
        std::function<bool (std::size_t partialBytes)> hasRoom;

        // A reply of this packet size is queued (on the caller of write) and, later, written or
        // dropped (on a transport thread). [main thread] / [transport threads]
        std::function<void (std::size_t)> replyTaken, replyDone;
    };

    virtual ~PipeTransport() = default;

    // Makes the pipe of pipeName, closing what was open before, without reading yet. Replies
    // are dropped when not taken within timeoutMs of their turn (non-positive: 1000 ms), where
    // the system cannot tell a departed client otherwise. Failed, saying why, when the pipe
    // cannot be made or is not this process's to serve. [one thread at a time]
    virtual Outcome open (const std::string& pipeName, int timeoutMs, bool mustNotExist, Events events) = 0;

    // Starts reading; false when its thread could not be started. [one thread at a time]
    virtual bool start() = 0;

    // Makes the transport ask hasRoom again; still callable after close. [any thread]
    virtual std::function<void()> roomAgain() const = 0;

    // Queues the message to go, after the replies queued before, as one packet to the client
    // that sent request number `client`, and never waits for that client. afterward's run, if
    // set, is called once the reply has been written or dropped (at once, on the caller's
    // thread, when it was not queued); its held bytes count with the reply. True when queued.
    // [main thread]
    virtual bool write (std::vector<std::uint8_t> message, unsigned client, AfterReply afterward) = 0;

    // The replies queued between these answer one delivery of requests. [main thread]
    virtual void beginRun() = 0;
    virtual void endRun() = 0;

    // Replies queued and not yet written or dropped. [any thread]
    virtual std::size_t unwritten() const = 0;

    // Clients seen leaving since the pipe was made. [any thread]
    virtual unsigned departures() const = 0;

    // True while open and the pipe is still the one made (its files not deleted or replaced).
    // [any thread]
    virtual bool stillInPlace() const = 0;

    // Stops reading and writing and closes the pipe; removeFiles: also deletes what the pipe
    // left in the file system, if still its own. [one thread at a time]
    virtual void close (bool removeFiles) = 0;
};

// This system's transport.
std::unique_ptr<PipeTransport> makePipeTransport (std::uint32_t magic);
