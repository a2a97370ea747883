#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "PacketFramer.h"
#include "pipe/WakePipe.h"

// Reads packets from the request FIFO on its own thread, named "JUCE IPC", and hands each
// whole payload on in arrival order, until it is stopped or a read fails.
class PipeReader
{
public:
    // The largest piece read from the FIFO at once.
    static constexpr std::size_t kReadChunkSize = 65536;

    // How long part of a packet may wait for its rest before it is dropped. The reader holds
    // the FIFO open for writing itself, so it never sees a client leave; without this, the
    // half packet of a client that died mid-write would swallow the start of the next
    // client's first request, and every packet after it would be misread. A live client
    // writes each packet in one go and the reader drains the FIFO at once, so no live
    // client leaves a packet half-written for seconds.
    static constexpr int kStalePartialPacketMs = 2000;

    struct Callbacks
    {
        // A whole payload; called on the reader thread.
        std::function<void (std::vector<std::uint8_t>&&)> packetReceived;

        // The FIFO failed for a reason other than having no data; the thread then ends.
        std::function<void()> readFailed;

        // Asked before each read, with the bytes of a packet read in part; while it answers
        // false the reader reads nothing (the FIFO fills and its writers wait) until woken
        // through waker(). Unset: always true.
        std::function<bool (std::size_t partialBytes)> hasRoom;
    };

    // fd is the request FIFO, open for reading and non-blocking; it stays the caller's.
    PipeReader (int fd, std::uint32_t magic, Callbacks callbacks, int stalePartialPacketMs = kStalePartialPacketMs);
    PipeReader (const PipeReader&) = delete;
    PipeReader& operator= (const PipeReader&) = delete;
    ~PipeReader();

    // Starts the thread; false when it could not be started.
    bool start();

    // Wakes the thread at once and waits for it to end. Called from the thread itself (from
    // a callback), it only tells the thread to end; the destructor then waits for it.
    void stop();

    // True when called on the reader thread.
    bool isReaderThread() const;

    // Makes the reader ask hasRoom again; callable from any thread, also after the reader
    // has gone.
    std::function<void()> waker() const;

private:
    void run();
    bool readAvailable();
    void deliverEvents();
    void reportFailure();
    int pollTimeoutMs() const;
    void dropStalePartialPacket();
    bool mayRead();

    const int fd;
    const int stalePartialPacketMs;
    PacketFramer framer;
    std::chrono::steady_clock::time_point lastDataTime;
    Callbacks callbacks;
    const std::shared_ptr<WakePipe> wakePipe = std::make_shared<WakePipe>();
    bool waitingForRoom = false;
    std::vector<char> readBuffer;
    std::atomic<bool> stopRequested{false};
    std::thread thread;
};
