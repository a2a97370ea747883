#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <juce_events/juce_events.h>

// The library application's end of the pipe, JUCE's own InterprocessConnection, as the
// library-application suites on every system drive it.
// What the library application passes to JUCE: the connection's magic header, and the
// timeout of each pipe read and write. JUCE's reader reports the connection lost when a
// header takes longer than that, so it is longer than any pause in these cases.
constexpr juce::uint32 kMagic = 0xF2B49E2C;
constexpr int kPipeTimeoutMs = 5000;
constexpr auto kReplyTimeout = std::chrono::milliseconds (3000);

// The library application's end of the pipe. Its callbacks run on JUCE's reader thread, so
// no JUCE message loop is needed; the replies wait here for the test.
class AppConnection final : public juce::InterprocessConnection
{
public:
    AppConnection()
        : juce::InterprocessConnection (false, kMagic)
    {
    }

    ~AppConnection() override
    {
        disconnect();
    }

    bool open()
    {
        return connectToPipe ("bv_reaper", kPipeTimeoutMs);
    }

    std::optional<std::string> takeReply()
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (replies.empty())
            return std::nullopt;

        auto reply = std::move (replies.front());
        replies.pop_front();
        return reply;
    }

private:
    void connectionMade() override
    {
    }

    void connectionLost() override
    {
    }

    void messageReceived (const juce::MemoryBlock& message) override
    {
        const std::lock_guard<std::mutex> guard (lock);
        replies.emplace_back (static_cast<const char*> (message.getData()), message.getSize());
    }

    std::mutex lock;
    std::deque<std::string> replies;
};
