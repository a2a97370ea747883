#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "pipe/UniqueFd.h"

// Writes each reply as one packet into the reply FIFO, within the send deadline, so packets
// never interleave and a reply never goes into a pipe that is being closed. Any thread.
class ReplyWriter
{
public:
    explicit ReplyWriter (std::uint32_t magic);

    ReplyWriter (const ReplyWriter&) = delete;
    ReplyWriter& operator= (const ReplyWriter&) = delete;

    // Replies go to this FIFO from now on, each within timeoutMs (a non-positive value
    // means 1000 ms, so a send can never wait forever).
    void open (const std::string& replyFifoPath, int timeoutMs);

    // No reply is written from now on; waits for one being written.
    void close();

    // True when the whole packet was written before the deadline; false when there is no
    // pipe, the message is empty, or the reader of the reply FIFO is missing or does not
    // take the bytes in time.
    bool write (const std::vector<std::uint8_t>& message);

    // The replies written between these share one opening of the reply FIFO (a delivery of
    // a run of requests), which endRun closes.
    void beginRun();
    void endRun();

private:
    const std::uint32_t magic;

    std::mutex lock;
    std::string path;
    int timeoutMs = 1000;

    // Set when the last reply could not be written: from then on a reply is tried once,
    // without waiting, until one gets through. A client that has gone, or that does not read,
    // then costs REAPER's main thread one send deadline in all rather than one per request
    // still queued; a live client holds the reply FIFO open while it waits, so its replies
    // get through at the first try.
    bool stalled = false;

    bool inRun = false;
    UniqueFd runFd;
};
