#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PipeContract.h"
#include "common/Outcome.h"
#include "pipe/DeliveryBudget.h"
#include "pipe/PacketInbox.h"
#include "pipe/PipeTransport.h"
#include "pipe/ReplyChannel.h"

// What a pipe connection tells its owner, always on REAPER's main thread and never after
// disconnect() has returned.
class PipeListener
{
public:
    virtual ~PipeListener() = default;

    // [main thread]
    virtual void connectionMade() = 0;
    virtual void connectionLost() = 0;
    virtual void messageReceived (const std::vector<std::uint8_t>& message) = 0;
};

// The server end of the named pipe: hands the packets its transport reads to its listener on
// REAPER's main thread, and gives each sendMessage to the transport to write as one packet to
// the client whose request it answers, so REAPER's main thread never waits for a client. The
// pipe itself is the transport's (PipeTransport: FIFOs, or a Windows named pipe), the waiting
// packets the inbox's, the pace of handing them on DeliveryBudget's.
class PipeConnection : public ReplyChannel
{
public:
    // The listener outlives the connection. The transport is this system's (makePipeTransport).
    explicit PipeConnection (PipeListener& listener, std::uint32_t magic = pipe_contract::kPacketMagic);
    ~PipeConnection() override;

    PipeConnection (const PipeConnection&) = delete;
    PipeConnection& operator= (const PipeConnection&) = delete;

    // Makes (or reuses) the pipe of pipeName and starts reading, closing any pipe this
    // connection had first. pipeReceiveTimeoutMs bounds each send (non-positive: 1000 ms).
    // Failed, saying why, when the pipe is unsafe, not this process's to serve, or cannot be
    // made or opened.
    // [one thread at a time]
    Outcome makePipe (const std::string& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist = false);

    // True while the pipe is made and still the one it was made as (both FIFO files at
    // their paths the ones made). [any thread]
    bool filesUnchanged() const;

    // Queues the message to be written as one packet after the replies before it, without
    // waiting (see PipeTransport::write). True when queued; false when there is no pipe or nothing to
    // send. [main thread]
    bool sendMessage (std::vector<std::uint8_t> message) override;

    // The same, running afterward on the writer's thread once the reply has been written or
    // dropped (at once when it was not queued); its held bytes count with the reply.
    // [main thread]
    bool sendMessageThen (std::vector<std::uint8_t> message, AfterReply afterward) override;

    // Replies queued and not yet written or dropped. [any thread]
    std::size_t unwrittenReplies() const;

    // Clients the reader has seen leave (close the request FIFO) since the pipe was made.
    // [any thread]
    unsigned clientsSeenLeaving() const;

    // True from a successful makePipe until disconnect() or a failed read. [any thread]
    bool isConnected() const;

    // Stops the reader at once, closes the pipe and deletes what it left in the file system
    // (both FIFO files, each only if it is still the one the pipe was made with). Callbacks already posted but not yet run are
    // dropped. [one thread at a time]
    void disconnect();

    // The same, leaving the files in place: for handing the pipe over to another process
    // that now serves it. [one thread at a time]
    void disconnectLeavingFiles();

private:
    // Lets posted callbacks through only while the connection that posted them is open.
    struct CallbackGate
    {
        std::recursive_mutex lock;
        bool open = true;
    };

    using Gate = std::shared_ptr<CallbackGate>;
    using Inbox = std::shared_ptr<PacketInbox>;

    static void postThroughGate (const Gate& through, std::function<void()> callback);
    static void callThroughGate (const Gate& through, const std::function<void()>& callback);
    void packetArrived (const Gate& through, const Inbox& inbox, std::vector<std::uint8_t>&& packet, unsigned client);
    void deliverFromInbox (const Gate& through, const Inbox& inbox);
    void readFailed (const Gate& through, const Inbox& inbox);
    void reportLostAfterInbox (const Gate& through, const Inbox& inbox);
    void closeGate();
    void close (bool removeFiles);

    PipeListener& listener;
    const std::unique_ptr<PipeTransport> transport;
    DeliveryBudget budget;

    // Held while the gate is replaced or closed.
    mutable std::mutex pipeLock;
    Gate gate;
    std::atomic<bool> connected{false};

    // The client whose request is being handed on (set on the main thread): its replies go
    // back to it.
    std::atomic<unsigned> answering{0};
};
