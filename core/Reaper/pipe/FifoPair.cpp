#include "pipe/FifoPair.h"

#include <fcntl.h>

#include "PipeContract.h"

Outcome FifoPair::make (const std::string& pipeName, bool mustNotExist, std::optional<FifoPair>& made)
{
    made.reset();

    if (pipe_contract::legalName (pipeName).empty())
        return Outcome::fail ("the pipe name is empty");

    const auto newInPath = pipe_contract::requestFifoPath (pipeName);
    const auto newOutPath = pipe_contract::replyFifoPath (pipeName);

    // Nothing is made while either path is refused, so that trying again and again while
    // something is in the way never touches the other path.
    for (const auto& path : {newInPath, newOutPath})
    {
        const auto refused = fifo_file::whyRefused (path);

        if (!refused.empty())
            return Outcome::fail (refused);
    }

    bool inCreated = false, outCreated = false;

    auto undoAndRefuse = [&] (const std::string& why)
    {
        if (inCreated)
            fifo_file::remove (newInPath);

        if (outCreated)
            fifo_file::remove (newOutPath);

        return Outcome::fail (why);
    };

    const auto inPrepared = fifo_file::prepare (newInPath, mustNotExist, inCreated);

    if (inPrepared.failed())
        return undoAndRefuse (inPrepared.errorMessage());

    const auto outPrepared = fifo_file::prepare (newOutPath, mustNotExist, outCreated);

    if (outPrepared.failed())
        return undoAndRefuse (outPrepared.errorMessage());

    auto reader = fifo_file::open (newInPath, O_RDONLY | O_NONBLOCK);

    if (!reader.isValid())
        return undoAndRefuse (newInPath + " cannot be opened safely");

    // The request FIFO's identity is that of the file being read, whatever the path shows.
    const auto newInIdentity = fifo_file::identify (reader.get());
    const auto newOutIdentity = fifo_file::identify (newOutPath);

    if (!newInIdentity || !newOutIdentity)
        return undoAndRefuse ("a FIFO was removed while the pipe was being made");

    FifoPair pair;
    pair.inPath = newInPath;
    pair.outPath = newOutPath;
    pair.inIdentity = *newInIdentity;
    pair.outIdentity = *newOutIdentity;
    pair.requestReader = std::move (reader);
    made.emplace (std::move (pair));
    return Outcome::ok();
}

std::function<UniqueFd()> FifoPair::requestWriteHold() const
{
    return [path = inPath, identity = inIdentity]
    {
        auto hold = fifo_file::open (path, O_WRONLY | O_NONBLOCK);

        if (hold.isValid() && !(fifo_file::identify (hold.get()) == identity))
            hold.reset();

        return hold;
    };
}

bool FifoPair::filesUnchanged() const
{
    return !inPath.empty() && fifo_file::identify (inPath) == inIdentity && fifo_file::identify (outPath) == outIdentity;
}

void FifoPair::closeAndRemove()
{
    requestReader.reset();

    if (!inPath.empty())
        fifo_file::remove (inPath, inIdentity);

    if (!outPath.empty())
        fifo_file::remove (outPath, outIdentity);

    inPath.clear();
    outPath.clear();
}
