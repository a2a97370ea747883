#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <juce_events/juce_events.h>

#include "Platform.h"
#include "pipe/PipeConnection.h"

namespace transport_testing
{
// A pipe name no other test process uses, so these tests may run side by side.
inline std::string uniquePipeName()
{
    static std::atomic<int> counter{0};
    return "bv_transport_test_" + std::to_string (getpid()) + "_" + std::to_string (counter++);
}

inline bool pathExists (const std::string& path)
{
    struct stat info;
    return ::lstat (path.c_str(), &info) == 0;
}

// Waits for condition, delivering JUCE messages on this (message) thread meanwhile.
inline bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 3000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;

        platform::deliverPendingMessages (16);
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    return true;
}

// Captures log lines while it exists.
class CapturingLogger : public juce::Logger
{
public:
    CapturingLogger()
    {
        juce::Logger::setCurrentLogger (this);
    }
    ~CapturingLogger() override
    {
        juce::Logger::setCurrentLogger (nullptr);
    }

    std::vector<std::string> lines()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return captured;
    }

protected:
    void logMessage (const juce::String& message) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        captured.push_back (message.toStdString());
    }

private:
    std::mutex mutex;
    std::vector<std::string> captured;
};

// A pipe connection that records what it is told and, if asked, answers each message
// with "re:" and the message.
class RecordingConnection : public PipeConnection
{
public:
    explicit RecordingConnection (bool onMessageThread, bool echoReplies = false)
        : PipeConnection (onMessageThread)
        , echo (echoReplies)
    {
    }

    ~RecordingConnection() override
    {
        disconnect();
    }

    void connectionMade() override
    {
        ++made;
        changed.notify_all();
    }

    void connectionLost() override
    {
        ++lost;
        changed.notify_all();
    }

    void messageReceived (const juce::MemoryBlock& message) override
    {
        const std::string text (static_cast<const char*> (message.getData()), message.getSize());
        char threadName[32] = {};
        pthread_getname_np (pthread_self(), threadName, sizeof (threadName));

        bool sent = false;

        if (echo)
            sent = sendMessage (juce::MemoryBlock (("re:" + text).data(), text.size() + 3));

        {
            const std::lock_guard<std::mutex> lock (mutex);
            messages.push_back (text);
            threadNames.push_back (threadName);
            onMessageThread.push_back (juce::MessageManager::existsAndIsCurrentThread());
            echoResults.push_back (sent);
        }

        changed.notify_all();
    }

    std::vector<std::string> receivedMessages()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return messages;
    }

    std::size_t messageCount()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return messages.size();
    }

    // For callbacks on the reader thread.
    bool waitForMessages (std::size_t count, int timeoutMs = 3000)
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, std::chrono::milliseconds (timeoutMs), [&]
                                 { return messages.size() >= count; });
    }

    std::atomic<int> made{0}, lost{0};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> messages, threadNames;
    std::vector<bool> onMessageThread, echoResults;

private:
    const bool echo;
};
} // namespace transport_testing
