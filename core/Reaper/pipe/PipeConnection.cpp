#include "pipe/PipeConnection.h"

#include "mainthread/MainThread.h"

PipeConnection::PipeConnection (PipeListener& listenerToTell, std::uint32_t magicNumber)
    : listener (listenerToTell)
    , transport (makePipeTransport (magicNumber))
{
}

PipeConnection::~PipeConnection()
{
    disconnect();
}

Outcome PipeConnection::makePipe (const std::string& pipeName, int pipeReceiveTimeoutMs, bool mustNotExist)
{
    disconnect();

    auto newGate = std::make_shared<CallbackGate>();
    auto newInbox = std::make_shared<PacketInbox>();

    // Packets wait in the inbox for the main thread; the transport stops reading while it is
    // full. An unwritten reply counts against the inbox's bound like a request, so a client
    // that does not take its replies makes the reader wait, and then its own writes.
    PipeTransport::Events events;
    events.packetReceived = [this, newGate, newInbox] (std::vector<std::uint8_t>&& packet, unsigned client)
    { packetArrived (newGate, newInbox, std::move (packet), client); };
    events.readFailed = [this, newGate, newInbox]
    { readFailed (newGate, newInbox); };
    events.hasRoom = [newInbox] (std::size_t partialBytes)
    { return newInbox->hasRoom (partialBytes); };
    events.replyTaken = [newInbox] (std::size_t size)
    { newInbox->hold (size); };
    events.replyDone = [newInbox] (std::size_t size)
    { newInbox->releaseReply (size); };

    const auto outcome = transport->open (pipeName, pipeReceiveTimeoutMs, mustNotExist, std::move (events));

    if (outcome.failed())
        return outcome;

    newInbox->onRoomAgain (transport->roomAgain());

    // A delivery that stopped while replies filled the inbox goes on once the writer has
    // taken some. The inbox keeps the callback, so the callback does not keep the inbox.
    newInbox->onDeliveryRoom ([this, newGate, weakInbox = std::weak_ptr<PacketInbox> (newInbox)]
                              {
                                  if (auto inbox = weakInbox.lock())
                                      postThroughGate (newGate, [this, newGate, inbox]
                                                       { deliverFromInbox (newGate, inbox); }); });

    {
        const std::lock_guard<std::mutex> lock (pipeLock);
        gate = newGate;
        connected = true;
    }

    // Posted before the reader starts, so it arrives before any packet.
    postThroughGate (newGate, [this]
                     { listener.connectionMade(); });

    if (!transport->start())
    {
        disconnect();
        return Outcome::fail ("the reader thread could not be started");
    }

    return Outcome::ok();
}

bool PipeConnection::filesUnchanged() const
{
    return transport->stillInPlace();
}

bool PipeConnection::sendMessage (std::vector<std::uint8_t> message)
{
    return transport->write (std::move (message), answering, {});
}

bool PipeConnection::sendMessageThen (std::vector<std::uint8_t> message, AfterReply afterward)
{
    return transport->write (std::move (message), answering, std::move (afterward));
}

std::size_t PipeConnection::unwrittenReplies() const
{
    return transport->unwritten();
}

unsigned PipeConnection::clientsSeenLeaving() const
{
    return transport->departures();
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
    transport->close (removeFiles);
    connected = false;
}

void PipeConnection::closeGate()
{
    Gate current;

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

void PipeConnection::readFailed (const Gate& through, const Inbox& inbox)
{
    connected = false;
    postThroughGate (through, [this, through, inbox]
                     { reportLostAfterInbox (through, inbox); });
}

void PipeConnection::reportLostAfterInbox (const Gate& through, const Inbox& inbox)
{
    // The packets that came before the failure are handed on first.
    if (!inbox->isEmpty())
    {
        postThroughGate (through, [this, through, inbox]
                         { reportLostAfterInbox (through, inbox); });
        return;
    }

    listener.connectionLost();
}

void PipeConnection::packetArrived (const Gate& through, const Inbox& inbox, std::vector<std::uint8_t>&& packet, unsigned client)
{
    // One posted call for a whole run of packets: while the inbox holds packets, a delivery
    // is already on its way (or waits for the writer) and will take this one too.
    if (inbox->push (std::move (packet), client))
        postThroughGate (through, [this, through, inbox]
                         { deliverFromInbox (through, inbox); });
}

void PipeConnection::deliverFromInbox (const Gate& through, const Inbox& inbox)
{
    budget.enterRound (main_thread::currentRound());

    // The replies of one delivery go out together (on FIFOs: one opening of the reply FIFO).
    transport->beginRun();

    bool waitingForWriter = false;

    while (budget.allowsAnother() && !inbox->isEmpty())
    {
        // While replies not yet written fill the inbox, the inbox posts the next delivery
        // once the writer has taken some.
        if (!inbox->mayHandOn())
        {
            waitingForWriter = true;
            break;
        }

        unsigned client = 0;
        auto packet = inbox->pop (client);

        if (!packet)
            break;

        answering = client;

        budget.packetHandedOn();
        listener.messageReceived (*packet);
        inbox->release (packet->size());

        // The gate closes when a callback disconnects; the packets left are dropped with it.
        if (!through->open)
            break;
    }

    transport->endRun();

    if (!through->open || waitingForWriter || inbox->isEmpty())
        return;

    // The rest in a later round; the reader posts nothing while the inbox holds packets, nor
    // the inbox while no delivery waits for the writer, so this is the only delivery pending.
    postThroughGate (through, [this, through, inbox]
                     { deliverFromInbox (through, inbox); });
}

void PipeConnection::postThroughGate (const Gate& through, std::function<void()> callback)
{
    main_thread::post ([through, callback = std::move (callback)]
                       { callThroughGate (through, callback); });
}

void PipeConnection::callThroughGate (const Gate& through, const std::function<void()>& callback)
{
    const std::lock_guard<std::recursive_mutex> lock (through->lock);

    if (through->open)
        callback();
}
