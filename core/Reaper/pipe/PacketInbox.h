#pragma once

#include <deque>
#include <mutex>
#include <optional>

#include <juce_core/juce_core.h>

// The packets the reader thread has received and the message thread has not yet handled,
// in arrival order; safe to fill from one thread while another empties it.
class PacketInbox
{
public:
    // Adds a packet at the end. True when the inbox was empty before, i.e. when no delivery
    // is pending and the caller must arrange one.
    bool push (juce::MemoryBlock&& packet);

    // The oldest packet, or nothing when the inbox is empty.
    std::optional<juce::MemoryBlock> pop();

    bool isEmpty() const;

    void clear();

private:
    mutable std::mutex lock;
    std::deque<juce::MemoryBlock> packets;
};
