#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include <cstdint>
#include <vector>

// The packets the reader thread has received and the message thread has not yet handled,
// in arrival order; safe to fill from one thread while another empties it.
//
// It is bounded by backpressure, not by dropping. A packet counts from its push until the
// message thread has handled it (release()), and a reply counts from its queueing until it
// has been written or dropped (hold(), then releaseReply()). Two gates keep what is counted,
// requests and the replies a slow client has not taken together, near the bound:
// - the reader asks hasRoom() before each read and, while the answer is no, reads nothing
//   more, so the request FIFO fills and the client's writes wait;
// - the message thread asks mayHandOn() before handing on each packet and, while replies
//   held fill the bound, hands on nothing more until the writer has taken some of them (or
//   dropped them at their deadline): a small request can make a large reply, so stopping the
//   reader alone would not stop the replies from growing.
// What is counted so stays under the bound plus one read, plus one reply.
class PacketInbox
{
public:
    static constexpr std::size_t kMaxPackets = 4096;
    static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

    explicit PacketInbox (std::size_t maxPackets = kMaxPackets, std::size_t maxBytes = kMaxBytes);

    // Adds a packet at the end, with the number of the client that sent it (see PipeReader).
    // True when the inbox was empty before, i.e. when no delivery is pending and the caller
    // must arrange one. [reader thread]
    bool push (std::vector<std::uint8_t>&& packet, unsigned client = 0);

    // The oldest packet, or nothing when the inbox is empty. It stays counted until
    // release() is called with its size. [main thread]
    std::optional<std::vector<std::uint8_t>> pop();
    std::optional<std::vector<std::uint8_t>> pop (unsigned& client);

    // Counts a reply of this size waiting to be written, like a packet, until releaseReply().
    // [main thread]
    void hold (std::size_t replySize);

    // A popped packet (or a held reply) of this size has been handled. Calls the room
    // callback when the reader was told to wait and the inbox has drained to half its bound
    // (or is empty), and the delivery callback when a delivery was told to wait and there is
    // room again. release: [main thread]; releaseReply: [writer thread].
    void release (std::size_t packetSize);
    void releaseReply (std::size_t replySize);

    // Asked by the reader before it reads, holding partialBytes of a packet not yet pushed.
    // Always true while nothing is counted, so a packet larger than the bound still gets
    // through; false once the packets or bytes counted reach the bound. [reader thread]
    bool hasRoom (std::size_t partialBytes);

    // Asked before handing on the next packet: true while no reply is held or what is counted
    // is under the bound. False makes the inbox call the delivery callback once there is room.
    // [main thread]
    bool mayHandOn();

    // Set before the reader starts; called on the thread that releases packets or replies.
    // [one thread at a time]
    void onRoomAgain (std::function<void()> callback);
    void onDeliveryRoom (std::function<void()> callback);

    // [any thread]
    bool isEmpty() const;

    // Packets counted: waiting, popped but not yet released, and replies held. [any thread]
    std::size_t countedPackets() const;

    // Bytes counted the same way. [any thread]
    std::size_t countedBytes() const;

    // [any thread]
    void clear();

private:
    struct Packet
    {
        std::vector<std::uint8_t> bytes;
        unsigned client = 0;
    };

    void releaseCounted (std::size_t size, bool reply);
    bool deliveryMayGoOn() const;

    const std::size_t maxPackets;
    const std::size_t maxBytes;

    mutable std::mutex lock;
    std::deque<Packet> packets;
    std::size_t counted = 0;
    std::size_t bytes = 0;
    std::size_t repliesHeld = 0;
    bool readerWaiting = false;
    bool deliveryWaiting = false;
    std::size_t waitingPartialBytes = 0;
    std::function<void()> roomAgain, deliveryRoom;
};
