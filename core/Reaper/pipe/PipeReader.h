#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "PacketFramer.h"
#include "UniqueFd.h"
#include "pipe/WakePipe.h"

// Reads packets from the request FIFO on its own thread, named "JUCE IPC", and hands each
// whole payload on in arrival order, until it is stopped or a read fails.
//
// Clients come and go: the reader tells when one has left by the FIFO's end-of-file, which
// comes once its last writer has closed it. While no client has written, the reader holds
// the FIFO open for writing itself (holdOpen), so an idle FIFO never reads as end-of-file
// (on some systems it would from the start, and poll would never sleep); once data arrives,
// a client is there and the reader lets its own hold go, so that the client's leaving shows.
// Then the rest of a packet the client left unfinished can never come: it is dropped, with
// one log line, and clientLeft is called. A live client keeps the FIFO open, so however long
// it pauses in the middle of a packet, its bytes are never dropped for the pause.
//
// But every client writes into the one FIFO, so a program that stops in the middle of a
// packet and stays would make every later client's packets part of its own. When no byte has
// come for kStallTime in the middle of a packet, the reader says so in one log line and marks
// the packet stalled: from then on another packet beginning inside it (a magic number) ends it,
// with one log line, and is read (PacketFramer::markStalled).
class PipeReader
{
public:
    // The largest piece read from the FIFO at once.
    static constexpr std::size_t kReadChunkSize = 65536;

    // How long the middle of a packet may go without a byte before the packet counts as
    // stalled: twice the pipe's timeout of 1000 ms, within which a client writes a whole
    // packet or gives up (a JUCE client never finishes a packet whose write timed out). The
    // time the reader itself does not read (its inbox full) does not count.
    static constexpr int kStallTimeMs = 2000;

    struct Callbacks
    {
        // A whole payload. [reader thread]
        std::function<void (std::vector<std::uint8_t>&&)> packetReceived;

        // The FIFO failed for a reason other than having no data; the thread then ends.
        // [reader thread]
        std::function<void()> readFailed;

        // Opens the FIFO for writing, for the reader to hold while it waits for a client. Unset:
        // nothing is held, and end-of-file is a failure like any other. [reader thread]
        std::function<UniqueFd()> holdOpen;

        // A client has left (its last writer closed the FIFO), after every packet it sent has
        // been handed on. [reader thread]
        std::function<void()> clientLeft;

        // Asked before each read, with the bytes of a packet read in part; while it answers
        // false the reader reads nothing (the FIFO fills and its writers wait) until woken
        // through waker(). Unset: always true. [reader thread]
        std::function<bool (std::size_t partialBytes)> hasRoom;
    };

    // fd is the request FIFO, open for reading and non-blocking; it stays the caller's.
    PipeReader (int fd, std::uint32_t magic, Callbacks callbacks);
    PipeReader (const PipeReader&) = delete;
    PipeReader& operator= (const PipeReader&) = delete;
    ~PipeReader();

    // Starts the thread; false when it could not be started. [one thread at a time]
    bool start();

    // Wakes the thread at once and waits for it to end. Called from the thread itself (from
    // a callback), it only tells the thread to end; the destructor then waits for it.
    // [any thread]
    void stop();

    // True when called on the reader thread. [any thread]
    bool isReaderThread() const;

    // Makes the reader ask hasRoom again, also after the reader has gone. [any thread]
    std::function<void()> waker() const;

private:
    void run();
    bool readAvailable();
    int msUntilStalled();
    void packetStalled();
    void deliverEvents();
    void reportFailure();
    bool writersLeft();
    bool mayRead();

    const int fd;
    PacketFramer framer;
    Callbacks callbacks;
    UniqueFd writeHold;
    const std::shared_ptr<WakePipe> wakePipe = std::make_shared<WakePipe>();
    std::vector<char> readBuffer;
    std::chrono::steady_clock::time_point quietSince;
    std::atomic<bool> stopRequested{false};
    std::thread thread;
};
