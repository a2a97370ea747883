#pragma once

#include <functional>
#include <optional>
#include <string>

#include "UniqueFd.h"
#include "common/Outcome.h"
#include "pipe/FifoFile.h"

// The two FIFO files of a pipe in /tmp, as the extension serves them: the request FIFO, held
// open for reading (and for writing too while no client is there: see PipeReader), and the
// reply FIFO, opened for each run of replies. Both are
// remembered by identity, so a file that replaced one of them is never taken for ours.
class FifoPair
{
public:
    // Makes (or reuses) /tmp/<pipeName>_in and /tmp/<pipeName>_out. Nothing is made while
    // either path is refused, and a failure leaves the file system as it was; the failure
    // text names the path and the reason. [any thread]
    static Outcome make (const std::string& pipeName, bool mustNotExist, std::optional<FifoPair>& made);

    FifoPair (FifoPair&&) = default;
    FifoPair& operator= (FifoPair&&) = default;

    // [any thread]
    int requestFd() const
    {
        return requestReader.get();
    }

    // Opens the request FIFO for writing, without waiting, if the file at its path is still
    // the one being read; invalid otherwise. Also after the pair was closed. [any thread]
    std::function<UniqueFd()> requestWriteHold() const;

    // [any thread]
    const std::string& replyPath() const
    {
        return outPath;
    }

    // True while both files at the paths are still the ones made: false once either was
    // deleted or replaced. Two lstat calls. [any thread]
    bool filesUnchanged() const;

    // Closes the request FIFO and deletes both files, each only if it is still ours. Destroying
    // the pair closes the FIFO and leaves the files, for another process that serves them now.
    // [one thread at a time]
    void closeAndRemove();

private:
    FifoPair() = default;

    std::string inPath, outPath;
    fifo_file::Identity inIdentity, outIdentity;
    UniqueFd requestReader;
};
