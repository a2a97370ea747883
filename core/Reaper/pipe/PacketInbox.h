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
// It is bounded by backpressure, not by dropping: the reader asks hasRoom() before each
// read and, while the answer is no, reads nothing more, so the request FIFO fills and the
// client's writes wait. A packet counts from its push until the message thread has handled
// it (release()), and a reply counts from its queueing until it has been written or dropped
// (hold(), then release()), so what a flood can make the extension hold, requests and the
// replies a slow client has not taken together, is about the bound, plus what one read
// brings in, or one packet when a single packet is larger than the bound.
class PacketInbox
{
public:
    static constexpr std::size_t kMaxPackets = 4096;
    static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;

    explicit PacketInbox (std::size_t maxPackets = kMaxPackets, std::size_t maxBytes = kMaxBytes);

    // Adds a packet at the end. True when the inbox was empty before, i.e. when no delivery
    // is pending and the caller must arrange one.
    bool push (std::vector<std::uint8_t>&& packet);

    // The oldest packet, or nothing when the inbox is empty. It stays counted until
    // release() is called with its size.
    std::optional<std::vector<std::uint8_t>> pop();

    // Counts a reply of this size waiting to be written, like a packet, until release().
    void hold (std::size_t replySize);

    // A popped packet (or a held reply) of this size has been handled. Calls the room
    // callback when the reader was told to wait and the inbox has drained to half its bound
    // (or is empty).
    void release (std::size_t packetSize);

    // Asked by the reader before it reads, holding partialBytes of a packet not yet pushed.
    // Always true while nothing is counted, so a packet larger than the bound still gets
    // through; false once the packets or bytes counted reach the bound.
    bool hasRoom (std::size_t partialBytes);

    // Set before the reader starts; called on the thread that releases packets.
    void onRoomAgain (std::function<void()> callback);

    bool isEmpty() const;

    // Packets counted: waiting, popped but not yet released, and replies held.
    std::size_t countedPackets() const;

    void clear();

private:
    const std::size_t maxPackets;
    const std::size_t maxBytes;

    mutable std::mutex lock;
    std::deque<std::vector<std::uint8_t>> packets;
    std::size_t counted = 0;
    std::size_t bytes = 0;
    bool readerWaiting = false;
    std::size_t waitingPartialBytes = 0;
    std::function<void()> roomAgain;
};
