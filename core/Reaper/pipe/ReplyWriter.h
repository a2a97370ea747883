#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "UniqueFd.h"
#include "pipe/ReplyChannel.h"
#include "pipe/WakePipe.h"

// Writes each reply as one packet into the reply FIFO from a thread of its own, so that
// however slowly a client reads, or whether it reads at all, the thread that sends (REAPER's
// main thread) never waits for it: write() only queues (and opens the FIFO without waiting,
// see below). The thread writes the queue in order, one packet after the other, so packets
// never interleave.
//
// Whose replies: a reader of the reply FIFO that leaves while replies are queued (a write
// fails with EPIPE, or the FIFO reports the reader gone) takes every reply queued until then
// with it: they were owed to the client that left, and the next client to open the FIFO
// would otherwise read them as the answers to its own requests. So that such a reader is
// seen however late the writer's turn comes, a reply queued with none before it and the FIFO
// closed opens the FIFO at once. Each reply also carries the number of the client that sent
// its request (see PipeReader); one is never begun on a new opening of the FIFO once a later
// client's request has been read, since that opening's reader would be the later client. A
// client that closes its request end but keeps reading keeps the opening it is being written
// to, and so gets its replies; one that has left the request FIFO and has no reader on the
// reply FIFO has gone, and its replies are dropped.
//
// Leftovers: the moment a client is seen leaving the request FIFO, the reply FIFO is looked
// at. With no reader on it, every client that has left has gone from both FIFOs: their
// replies are dropped, the packet being written to them is given up, and what they left
// unread in the FIFO is drained before anything else is written, so that the next client
// does not read it as its own. With a reader, nothing is drained: it may be the departed
// client still reading, and its bytes are never taken from it.
//
// Deadlines: a reply whose turn has come is dropped when the client has not taken it within
// the send deadline (no reader, or a full FIFO). After a reply was dropped, the following
// ones are tried once, without waiting, until one gets through: a client that has gone then
// costs one deadline in all rather than one per reply still queued, while a live client
// holds the reply FIFO open and reads, so its replies get through at the first try.
//
// Half packets: once part of a packet is in the FIFO, the rest is always written, whatever
// the deadline, for as long as the reader stays: a packet cut short would make the client
// read the next packet's bytes as the rest of this one, and every packet after it would be
// misread. Only a reader that leaves (or closing the pipe) ends a packet early, and then its
// rest goes with the FIFO's content.
//
// The reply FIFO is open only while something is to be written (and for the length of a
// run): a FIFO keeps its unread bytes for as long as anyone has it open, so holding it open
// while idle would hand a departed client's unread reply (or a stray byte) to the next client
// as the answer to its first request.
class ReplyWriter
{
public:
    // How the replies the writer holds are counted: taken(size) when one is queued (on the
    // thread that queues it), done(size) once it has been written or dropped (on the writer's
    // thread); size is the packet's. taken: [main thread]; done: [writer thread].
    struct Accounting
    {
        std::function<void (std::size_t)> taken, done;
    };

    explicit ReplyWriter (std::uint32_t magic);
    ~ReplyWriter();

    ReplyWriter (const ReplyWriter&) = delete;
    ReplyWriter& operator= (const ReplyWriter&) = delete;

    // Replies go to this FIFO from now on, each dropped when not taken within timeoutMs of
    // its turn (a non-positive value means 1000 ms). Closes what was open before. False when
    // the writer's thread could not be started. [one thread at a time]
    bool open (const std::string& replyFifoPath, int timeoutMs, Accounting accounting = {});

    // No reply is queued from now on. Those still queued get one try that does not wait
    // (stopping at the first that does not go in); the rest are dropped, and the thread ends.
    // [one thread at a time]
    void close();

    // Queues the message to be written as one packet after those queued before; never waits
    // for the client. client is the number of the client whose request it answers. afterward,
    // if set, is called once the reply has been written or dropped: on the writer's thread,
    // or at once on the caller's when it was not queued. True when queued; false when there
    // is no pipe, the message is empty, or it is too large for a packet. [main thread]
    bool write (std::vector<std::uint8_t> message, unsigned client = 0, AfterReply afterward = {});

    // A request of this client has been read: replies to earlier clients are no longer begun
    // on a new opening of the FIFO. [any thread]
    void requestRead (unsigned client);

    // This many clients have left the request FIFO (the number of the next one). Those that
    // have no reader on the reply FIFO now, and the one whose reader left the last opening,
    // have gone: their replies are dropped, and what waits in the FIFO is drained (see
    // Leftovers above). Looks at the FIFO without waiting. [any thread]
    void clientLeft (unsigned departed);

    // The replies queued between these share one opening of the reply FIFO (a delivery of a
    // run of requests); after endRun it is closed as soon as nothing is left to write.
    // [main thread]
    void beginRun();
    void endRun();

    // Replies queued and not yet written or dropped, the one being written included.
    // [any thread]
    std::size_t unwritten() const;

private:
    using Clock = std::chrono::steady_clock;

    struct Reply
    {
        std::string header;
        std::vector<std::uint8_t> message;
        unsigned client = 0;
        AfterReply afterward;
    };

    enum class Sent
    {
        written,
        notTaken,   // no reader took it before its deadline, or the pipe is closing
        readerLeft, // the reader it was being written to left
        clientGone  // its client has gone from both FIFOs, or no opening can be its client's
    };

    void run();
    Sent writePacket (const Reply& reply, bool tryOnce);
    void dropAllQueued (std::unique_lock<std::mutex>& guard);
    void finish (std::unique_lock<std::mutex>& guard, Reply&& reply);
    Sent openBefore (Clock::time_point deadline, unsigned client);
    bool openNow();
    void waitForRoom (Clock::time_point until);
    void pause (Clock::time_point until);
    void stopThread();

    const std::uint32_t magic;

    // Held by open and close, so one pipe's thread has ended before the next one starts.
    std::mutex controlLock;

    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Reply> queue;
    std::string path;
    int timeoutMs = 1000;
    Accounting counting;
    bool accepting = false;
    bool inRun = false;
    std::atomic<bool> stopping{false};
    std::atomic<unsigned> newestClient{0};

    // Clients that have left the request FIFO; replies to clients numbered below forgotten
    // (gone from both FIFOs) are dropped without being tried, and one being written to them
    // is given up.
    std::atomic<unsigned> departedClients{0};
    std::atomic<unsigned> forgotten{0};

    // One more than the number of the client whose reply the reader of the last opening left
    // in the middle of; 0 when that opening did not end so.
    std::atomic<unsigned> lostReaderBound{0};

    // What waits in the reply FIFO belongs to clients that have gone: drained first.
    bool drainWanted = false;

    // The writer thread's own.
    bool stalled = false;

    // The reply FIFO while open: the writer thread's while the queue holds replies, guarded
    // by the lock while it is empty.
    UniqueFd fd;

    WakePipe wakePipe;
    std::thread thread;
};
