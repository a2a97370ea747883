#pragma once

#include <chrono>

// How many received packets one round of REAPER's main thread hands on: at most
// kMaxPacketsPerRound, and none started after kTimePerRound (the first always is); the rest
// wait for the next round, so a burst of requests never holds REAPER's main thread for long,
// and none is dropped. The budget is per round, not per call: a client that answers each
// reply at once with a new request must not keep one round going.
class DeliveryBudget
{
public:
    static constexpr int kMaxPacketsPerRound = 256;
    static constexpr auto kTimePerRound = std::chrono::microseconds (2000);

    using Clock = std::chrono::steady_clock;

    // Called before handing packets on in the given round of the main thread; a new round
    // starts a fresh budget. [main thread]
    void enterRound (unsigned round)
    {
        if (started && round == currentRound)
            return;

        started = true;
        currentRound = round;
        packets = 0;
        roundStart = Clock::now();
    }

    // [main thread]
    bool allowsAnother() const
    {
        return packets == 0 || (packets < kMaxPacketsPerRound && Clock::now() < roundStart + kTimePerRound);
    }

    // [main thread]
    void packetHandedOn()
    {
        ++packets;
    }

private:
    bool started = false;
    unsigned currentRound = 0;
    int packets = 0;
    Clock::time_point roundStart;
};
