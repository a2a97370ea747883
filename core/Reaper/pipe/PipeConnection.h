#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include <juce_core/juce_core.h>

#include "pipe/FifoFile.h"
#include "pipe/PacketInbox.h"
#include "pipe/PipeReader.h"
#include "pipe/UniqueFd.h"
#include "requests/ReplySender.h"

// The server end of a named pipe made of two FIFOs in /tmp: reads packets from
// /tmp/<name>_in on a reader thread and hands them to messageReceived, and writes each
// sendMessage as one packet into /tmp/<name>_out.
//
// The callbacks run on JUCE's message thread (or, if so constructed, on the reader thread)
// and never after disconnect() has returned. A subclass whose callbacks run on the reader
// thread must call disconnect() in its own destructor, before its members go.
class PipeConnection : public ReplySender
{
public:
    // One round of the host's message delivery hands on at most this many packets, and starts
    // no new one after this much time; the rest wait for the host's next round, so a burst of
    // requests never holds REAPER's main thread for long, and none is dropped.
    static constexpr int kMaxPacketsPerDelivery = 256;
    static constexpr int kDeliveryBudgetMicroseconds = 2000;

    explicit PipeConnection (bool callbacksOnMessageThread = true, juce::uint32 magicMessageHeader = 0xf2b49e2c);
    ~PipeConnection() override;

    // Creates (or reuses) the FIFOs /tmp/<pipeName>_in and /tmp/<pipeName>_out and starts
    // reading. pipeReceiveTimeoutMs bounds each send (a non-positive value means 1000 ms, so
    // that a send can never wait forever). Closes any pipe this connection had first. False,
    // with one log line saying why, when either path is unsafe or cannot be made or opened.
    bool createPipe (const juce::String& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist = false);

    // The same as createPipe without the log line: the failure text says why.
    juce::Result makePipe (const juce::String& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist = false);

    // True while the pipe is made and both FIFO files at its paths are still the ones it was
    // made with: false once either was deleted or replaced. Two lstat calls; any thread.
    bool filesUnchanged() const;

    // Writes the message as one packet. True when the whole packet was written before the
    // timeout; false when there is no pipe, the message is empty, or the reader of
    // /tmp/<name>_out is missing or does not take the bytes in time.
    bool sendMessage (const juce::MemoryBlock& message) override;

    // True from a successful createPipe until disconnect() or a failed read.
    bool isConnected() const;

    // Stops the reader at once, closes the pipe and deletes both FIFO files, each only if it
    // is still the one the pipe was made with. Callbacks already posted but not yet run are
    // dropped.
    void disconnect();

    // The same, leaving the FIFO files in place: for handing the pipe over to another
    // process that now serves it.
    void disconnectLeavingFiles();

    virtual void connectionMade() = 0;
    virtual void connectionLost() = 0;
    virtual void messageReceived (const juce::MemoryBlock& message) = 0;

private:
    // Lets posted callbacks through only while the connection that posted them is open.
    struct CallbackGate
    {
        std::recursive_mutex lock;
        bool open = true;
    };

    static void callThroughGate (const std::shared_ptr<CallbackGate>& through, bool onMessageThread, std::function<void()> callback);
    void packetArrived (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox, juce::MemoryBlock&& packet);
    void beginDelivery();
    void endDelivery();
    void deliverFromInbox (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox);
    void closeGate();
    void close (bool removeFiles);
    void readFailed (const std::shared_ptr<CallbackGate>& gate, const std::shared_ptr<PacketInbox>& inbox);
    void reportLostAfterInbox (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox);

    const bool callbacksOnMessageThread;
    const juce::uint32 magic;

    // Held while writing a packet and while the pipe is made or closed, so packets never
    // interleave and a send never writes into a pipe that is going away.
    mutable std::mutex pipeLock;
    juce::String inPath, outPath;
    fifo_file::Identity inIdentity, outIdentity;
    UniqueFd inFd;
    int sendTimeoutMs = 1000;

    // Set when the last reply could not be written: from then on a reply is tried once,
    // without waiting, until one gets through. A client that has gone, or that does not read,
    // then costs REAPER's main thread one send deadline in all rather than one per request
    // still queued; a live client holds the reply FIFO open while it waits, so its replies
    // get through at the first try.
    bool replyFifoStalled = false;

    // While a delivery hands on a run of packets, their replies go through this one opening
    // of the reply FIFO, which the delivery's end closes.
    bool delivering = false;
    UniqueFd deliveryReplyFd;

    // What the current round of delivery has used of its budget (message thread only).
    bool roundBudgetStarted = false;
    unsigned budgetRound = 0;
    int packetsThisRound = 0;
    std::chrono::steady_clock::time_point roundStart;

    std::shared_ptr<CallbackGate> gate;
    std::unique_ptr<PipeReader> reader, finishedReader;
    std::atomic<bool> connected{false};

    JUCE_DECLARE_NON_COPYABLE (PipeConnection)
};
