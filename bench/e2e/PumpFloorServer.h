#pragma once

#include <string>

#include "PacketFramer.h"
#include "TimerRegistry.h"

// The least a server on the pipe can do at a given pump period: a host timer callback that
// reads whatever request packets have arrived and answers each with a fixed reply written
// straight into the reply FIFO, which it keeps open. What the extension adds is measured
// against it.
class PumpFloorServer
{
public:
    // Makes the FIFOs /tmp/<pipeName>_in and _out and registers the timer callback.
    PumpFloorServer (reaper_host::TimerRegistry& timers, const std::string& pipeName, std::string replyPayload);

    // Unregisters the callback and deletes both FIFOs.
    ~PumpFloorServer();

    PumpFloorServer (const PumpFloorServer&) = delete;
    PumpFloorServer& operator= (const PumpFloorServer&) = delete;

    bool isReady() const
    {
        return requestFd >= 0;
    }

    long long answered() const
    {
        return replies;
    }

private:
    static void timerCallback();
    void serve();
    bool writeReply();

    reaper_host::TimerRegistry& registry;
    std::string inPath, outPath, replyPacket;
    int requestFd = -1;
    int replyFd = -1;
    PacketFramer framer;
    long long replies = 0;
};
