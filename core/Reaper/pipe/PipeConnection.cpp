#include "pipe/PipeConnection.h"

#include <algorithm>
#include <chrono>

#include <fcntl.h>

#include <juce_events/juce_events.h>

#include "Platform.h"
#include "pipe/FifoFile.h"
#include "pipe/FifoPacketWriter.h"
#include "pipe/PacketBuilder.h"

namespace
{
constexpr int kDefaultSendTimeoutMs = 1000;

juce::String fifoPath (const juce::String& pipeName, const char* suffix)
{
    return "/tmp/" + juce::File::createLegalFileName (pipeName) + suffix;
}
} // namespace

PipeConnection::PipeConnection (bool onMessageThread, juce::uint32 magicMessageHeader)
    : callbacksOnMessageThread (onMessageThread)
    , magic (magicMessageHeader)
{
}

PipeConnection::~PipeConnection()
{
    disconnect();
}

bool PipeConnection::createPipe (const juce::String& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist)
{
    const auto made = makePipe (pipeName, pipeReceiveTimeoutMs, mustNotExist);

    if (made.failed())
        juce::Logger::writeToLog ("Pipe not created: " + made.getErrorMessage());

    return made.wasOk();
}

juce::Result PipeConnection::makePipe (const juce::String& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist)
{
    disconnect();

    const auto newInPath = fifoPath (pipeName, "_in");
    const auto newOutPath = fifoPath (pipeName, "_out");

    auto refuse = [] (const juce::String& why)
    { return juce::Result::fail (why); };

    if (juce::File::createLegalFileName (pipeName).isEmpty())
        return refuse ("the pipe name is empty");

    // Nothing is made while either path is refused, so that trying again and again while
    // something is in the way never touches the other path.
    for (const auto& path : {newInPath, newOutPath})
    {
        const auto refused = fifo_file::whyRefused (path);

        if (refused.isNotEmpty())
            return refuse (refused);
    }

    bool inCreated = false, outCreated = false;

    // Leaves the file system as it was when the pipe cannot be made.
    auto undoAndRefuse = [&] (const juce::String& why)
    {
        if (inCreated)
            fifo_file::remove (newInPath);

        if (outCreated)
            fifo_file::remove (newOutPath);

        return refuse (why);
    };

    const auto inPrepared = fifo_file::prepare (newInPath, mustNotExist, inCreated);

    if (inPrepared.failed())
        return undoAndRefuse (inPrepared.getErrorMessage());

    const auto outPrepared = fifo_file::prepare (newOutPath, mustNotExist, outCreated);

    if (outPrepared.failed())
        return undoAndRefuse (outPrepared.getErrorMessage());

    // Held open for reading and writing, so the reader never sees end-of-file however often
    // the peer closes and reopens its end.
    auto newInFd = fifo_file::open (newInPath, O_RDWR | O_NONBLOCK);

    if (!newInFd.isValid())
        return undoAndRefuse (newInPath + " cannot be opened safely");

    // The request FIFO's identity is that of the file being read, whatever the path shows.
    const auto newInIdentity = fifo_file::identify (newInFd.get());
    const auto newOutIdentity = fifo_file::identify (newOutPath);

    if (!newInIdentity || !newOutIdentity)
        return undoAndRefuse ("a FIFO was removed while the pipe was being made");

    auto newGate = std::make_shared<CallbackGate>();
    auto newInbox = std::make_shared<PacketInbox>();

    PipeReader::Callbacks callbacks;
    callbacks.packetReceived = [this, newGate, newInbox] (juce::MemoryBlock&& block)
    { packetArrived (newGate, newInbox, std::move (block)); };
    callbacks.readFailed = [this, newGate, newInbox]
    { readFailed (newGate, newInbox); };

    // Packets handed on through the inbox wait there for the message thread; the reader
    // stops reading while it is full.
    if (callbacksOnMessageThread)
        callbacks.hasRoom = [newInbox] (std::size_t partialBytes)
        { return newInbox->hasRoom (partialBytes); };

    auto newReader = std::make_unique<PipeReader> (newInFd.get(), magic, std::move (callbacks));
    newInbox->onRoomAgain (newReader->waker());

    {
        const std::lock_guard<std::mutex> lock (pipeLock);
        inPath = newInPath;
        outPath = newOutPath;
        inIdentity = *newInIdentity;
        outIdentity = *newOutIdentity;
        inFd = std::move (newInFd);
        sendTimeoutMs = pipeReceiveTimeoutMs > 0 ? pipeReceiveTimeoutMs : kDefaultSendTimeoutMs;
        replyFifoStalled = false;
        gate = newGate;
        connected = true;
    }

    // Posted before the reader starts, so it arrives before any packet.
    callThroughGate (newGate, callbacksOnMessageThread, [this]
                     { connectionMade(); });

    reader = std::move (newReader);

    if (!reader->start())
    {
        disconnect();
        return refuse ("the reader thread could not be started");
    }

    return juce::Result::ok();
}

bool PipeConnection::filesUnchanged() const
{
    juce::String in, out;
    fifo_file::Identity madeIn, madeOut;

    {
        const std::lock_guard<std::mutex> lock (pipeLock);

        if (inPath.isEmpty())
            return false;

        in = inPath;
        out = outPath;
        madeIn = inIdentity;
        madeOut = outIdentity;
    }

    return fifo_file::identify (in) == madeIn && fifo_file::identify (out) == madeOut;
}

bool PipeConnection::sendMessage (const juce::MemoryBlock& message)
{
    if (message.getSize() == 0)
        return false;

    const auto packet = buildPacket (magic, message.getData(), message.getSize());

    if (packet.empty())
        return false;

    const std::lock_guard<std::mutex> lock (pipeLock);

    if (outPath.isEmpty())
        return false;

    // Opened and closed for every reply, or for every delivery of a run of requests: a FIFO
    // keeps its unread bytes for as long as anyone has it open, so holding it open between
    // deliveries would hand a departed client's unread reply (or a stray byte) to the next
    // client as the answer to its first request.
    const int timeoutMs = replyFifoStalled ? 0 : sendTimeoutMs;
    bool written = false;

    if (!delivering)
    {
        written = fifo_packet_writer::writeWhole (outPath, packet.data(), packet.size(), timeoutMs);
    }
    else
    {
        const auto start = std::chrono::steady_clock::now();

        if (!deliveryReplyFd.isValid())
            deliveryReplyFd = fifo_packet_writer::openForWriting (outPath, timeoutMs);

        const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();
        written = deliveryReplyFd.isValid()
                  && fifo_packet_writer::writeWhole (deliveryReplyFd.get(), packet.data(), packet.size(),
                                                     std::max (0, timeoutMs - static_cast<int> (elapsedMs)));

        // A reader that left, or a full FIFO: the next reply opens afresh.
        if (!written)
            deliveryReplyFd.reset();
    }

    replyFifoStalled = !written;
    return written;
}

void PipeConnection::beginDelivery()
{
    const std::lock_guard<std::mutex> lock (pipeLock);
    delivering = true;
}

void PipeConnection::endDelivery()
{
    const std::lock_guard<std::mutex> lock (pipeLock);
    delivering = false;
    deliveryReplyFd.reset();
}

bool PipeConnection::isConnected() const
{
    return connected;
}

void PipeConnection::disconnect()
{
    close (true);
}

void PipeConnection::disconnectLeavingFiles()
{
    close (false);
}

void PipeConnection::close (bool removeFiles)
{
    closeGate();

    if (reader != nullptr)
    {
        reader->stop();

        // From inside a callback on the reader thread the thread cannot wait for itself: it
        // ends once the callback returns, and is joined later.
        if (reader->isReaderThread())
            finishedReader = std::move (reader);
        else
            reader.reset();
    }

    if (finishedReader != nullptr && !finishedReader->isReaderThread())
        finishedReader.reset();

    const std::lock_guard<std::mutex> lock (pipeLock);

    inFd.reset();
    deliveryReplyFd.reset();

    if (removeFiles && inPath.isNotEmpty())
        fifo_file::remove (inPath, inIdentity);

    if (removeFiles && outPath.isNotEmpty())
        fifo_file::remove (outPath, outIdentity);

    inPath = {};
    outPath = {};
    connected = false;
}

void PipeConnection::closeGate()
{
    std::shared_ptr<CallbackGate> current;

    {
        const std::lock_guard<std::mutex> lock (pipeLock);
        current = std::move (gate);
    }

    if (current == nullptr)
        return;

    // Waits for a callback that is running on another thread to finish.
    const std::lock_guard<std::recursive_mutex> lock (current->lock);
    current->open = false;
}

void PipeConnection::readFailed (const std::shared_ptr<CallbackGate>& readerGate, const std::shared_ptr<PacketInbox>& inbox)
{
    connected = false;
    callThroughGate (readerGate, callbacksOnMessageThread, [this, readerGate, inbox]
                     { reportLostAfterInbox (readerGate, inbox); });
}

void PipeConnection::reportLostAfterInbox (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox)
{
    // The packets that came before the failure are handed on first.
    if (callbacksOnMessageThread && !inbox->isEmpty())
    {
        platform::callOnNextDelivery ([this, through, inbox]
                                      { callThroughGate (through, false, [this, through, inbox]
                                                         { reportLostAfterInbox (through, inbox); }); });
        return;
    }

    connectionLost();
}

void PipeConnection::packetArrived (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox,
                                    juce::MemoryBlock&& packet)
{
    if (!callbacksOnMessageThread)
    {
        callThroughGate (through, false, [this, &packet]
                         { messageReceived (packet); });
        return;
    }

    // One message for a whole run of packets: while the inbox holds packets, a delivery is
    // already on its way and will take this one too.
    if (inbox->push (std::move (packet)))
        callThroughGate (through, true, [this, through, inbox]
                         { deliverFromInbox (through, inbox); });
}

void PipeConnection::deliverFromInbox (const std::shared_ptr<CallbackGate>& through, const std::shared_ptr<PacketInbox>& inbox)
{
    using Clock = std::chrono::steady_clock;

    // The budget is per round of the host's delivery, not per call: JUCE's Linux queue also
    // delivers, in the same round, the messages posted while it delivers, so a client that
    // answers each reply at once with a new request would otherwise keep the round going.
    const auto round = platform::deliveryRound();

    if (!roundBudgetStarted || round != budgetRound)
    {
        roundBudgetStarted = true;
        budgetRound = round;
        packetsThisRound = 0;
        roundStart = Clock::now();
    }

    const auto deadline = roundStart + std::chrono::microseconds (kDeliveryBudgetMicroseconds);

    // The replies of one delivery share one opening of the reply FIFO.
    beginDelivery();

    while (packetsThisRound == 0 || (packetsThisRound < kMaxPacketsPerDelivery && Clock::now() < deadline))
    {
        auto packet = inbox->pop();

        if (!packet)
            break;

        ++packetsThisRound;
        messageReceived (*packet);
        inbox->release (packet->getSize());

        // The gate closes when a callback disconnects; the packets left are dropped with it.
        if (!through->open)
            break;
    }

    endDelivery();

    if (!through->open || inbox->isEmpty())
        return;

    // The rest in the host's next round; the reader posts nothing while the inbox holds
    // packets, so this is the only delivery pending.
    platform::callOnNextDelivery ([this, through, inbox]
                                  { callThroughGate (through, false, [this, through, inbox]
                                                     { deliverFromInbox (through, inbox); }); });
}

void PipeConnection::callThroughGate (const std::shared_ptr<CallbackGate>& through, bool onMessageThread, std::function<void()> callback)
{
    auto callIfOpen = [through, callback = std::move (callback)]
    {
        const std::lock_guard<std::recursive_mutex> lock (through->lock);

        if (through->open)
            callback();
    };

    if (onMessageThread)
        platform::postToMessageThread (std::move (callIfOpen));
    else
        callIfOpen();
}
