#pragma once

#include "UniqueFd.h"

// A self-pipe that lets one thread wake another out of poll() at once: the sleeper polls
// readFd() alongside its other descriptors, the waker calls wake().
class WakePipe
{
public:
    // False when the pipe could not be made. [one thread at a time]
    bool open();

    // [any thread]
    void wake();

    // Empties the pipe so that a later poll sleeps again. [one thread at a time]
    void drain();

    // [any thread]
    int readFd() const
    {
        return readEnd.get();
    }

private:
    UniqueFd readEnd, writeEnd;
};
