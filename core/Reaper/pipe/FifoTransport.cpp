#include "pipe/FifoTransport.h"

std::unique_ptr<PipeTransport> makePipeTransport (std::uint32_t magic)
{
    return std::make_unique<FifoTransport> (magic);
}

FifoTransport::FifoTransport (std::uint32_t magicNumber)
    : magic (magicNumber)
    , replies (magicNumber)
{
}

FifoTransport::~FifoTransport()
{
    close (false);
}

Outcome FifoTransport::open (const std::string& pipeName, int timeoutMs, bool mustNotExist, Events events)
{
    close (false);

    std::optional<FifoPair> made;
    const auto outcome = FifoPair::make (pipeName, mustNotExist, made);

    if (outcome.failed())
        return outcome;

    PipeReader::Callbacks callbacks;
    callbacks.packetReceived = [this, received = events.packetReceived] (std::vector<std::uint8_t>&& packet)
    {
        const unsigned client = clientsLeft;
        replies.requestRead (client);
        received (std::move (packet), client);
    };
    callbacks.readFailed = events.readFailed;
    callbacks.hasRoom = events.hasRoom;
    callbacks.holdOpen = made->requestWriteHold();
    callbacks.clientLeft = [this]
    { replies.clientLeft (++clientsLeft); };

    clientsLeft = 0;
    auto newReader = std::make_unique<PipeReader> (made->requestFd(), magic, std::move (callbacks));

    ReplyWriter::Accounting accounting;
    accounting.taken = std::move (events.replyTaken);
    accounting.done = std::move (events.replyDone);

    if (!replies.open (made->replyPath(), timeoutMs, std::move (accounting)))
    {
        made->closeAndRemove();
        return Outcome::fail ("the reply writer could not be started");
    }

    const std::lock_guard<std::mutex> guard (lock);
    fifos = std::move (made);
    reader = std::move (newReader);
    return Outcome::ok();
}

bool FifoTransport::start()
{
    return reader != nullptr && reader->start();
}

std::function<void()> FifoTransport::roomAgain() const
{
    return reader != nullptr ? reader->waker() : std::function<void()> ([] {});
}

bool FifoTransport::write (std::vector<std::uint8_t> message, unsigned client, AfterReply afterward)
{
    return replies.write (std::move (message), client, std::move (afterward));
}

void FifoTransport::beginRun()
{
    replies.beginRun();
}

void FifoTransport::endRun()
{
    replies.endRun();
}

std::size_t FifoTransport::unwritten() const
{
    return replies.unwritten();
}

unsigned FifoTransport::departures() const
{
    return clientsLeft;
}

bool FifoTransport::stillInPlace() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return fifos && fifos->filesUnchanged();
}

void FifoTransport::close (bool removeFiles)
{
    reader.reset();
    replies.close();

    const std::lock_guard<std::mutex> guard (lock);

    if (fifos && removeFiles)
        fifos->closeAndRemove();

    fifos.reset();
}
