#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "logging/Log.h"
#include "mainthread/MainThread.h"
#include "pipe/PipeConnection.h"

namespace pipe_testing
{
// A pipe name no other test process uses, so these tests may run side by side.
inline std::string uniquePipeName()
{
    static std::atomic<int> counter{0};
    return "bv_pipe_test_" + std::to_string (getpid()) + "_" + std::to_string (counter++);
}

// File descriptors of this process open on the path.
inline int descriptorsOpenOn (const std::string& path)
{
    int count = 0;

    for (const auto& entry : std::filesystem::directory_iterator ("/proc/self/fd"))
    {
        std::error_code error;
        const auto target = std::filesystem::read_symlink (entry.path(), error);

        if (!error && target == path)
            ++count;
    }

    return count;
}

inline bool pathExists (const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists (std::filesystem::symlink_status (path, error));
}

// Waits for condition, running rounds of the main thread's work on this thread meanwhile,
// as REAPER's main thread would.
inline bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 3000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;

        main_thread::runRound (16);
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    return true;
}

// Waits for condition while another thread runs the main thread's rounds.
inline bool waitUntil (const std::function<bool()>& condition, int timeoutMs = 3000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;

        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    return true;
}

// Captures log lines while it exists.
class CapturingLogger : public LogDestination
{
public:
    CapturingLogger()
    {
        logging::setDestination (this);
    }
    ~CapturingLogger() override
    {
        logging::setDestination (nullptr);
    }

    std::vector<std::string> lines()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return captured;
    }

    void logMessage (const std::string& message) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        captured.push_back (message);
    }

private:
    std::mutex mutex;
    std::vector<std::string> captured;
};

// A pipe connection that records what it is told and, if asked, answers each message
// with "re:" and the message. Its callbacks run where the main thread's rounds run: on the
// test's thread while it pumps (pumpUntil), or, with roundsOfItsOwn, on a thread of the
// connection's own that plays REAPER's main thread, so that a test may wait on a client.
class RecordingConnection : public PipeListener, public PipeConnection
{
public:
    explicit RecordingConnection (bool roundsOfItsOwn, bool echoReplies = false)
        : PipeConnection (static_cast<PipeListener&> (*this))
        , echo (echoReplies)
    {
        if (roundsOfItsOwn)
            mainThread = std::thread ([this]
                                      {
                                          while (!stopping)
                                          {
                                              main_thread::runRound (16);
                                              std::this_thread::sleep_for (std::chrono::milliseconds (1));
                                          } });
    }

    ~RecordingConnection() override
    {
        stopping = true;

        if (mainThread.joinable())
            mainThread.join();

        disconnect();
    }

    std::thread::id mainThreadId() const
    {
        return mainThread.joinable() ? mainThread.get_id() : std::this_thread::get_id();
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

    void messageReceived (const std::vector<std::uint8_t>& message) override
    {
        const std::string text (message.begin(), message.end());
        char threadName[32] = {};
        pthread_getname_np (pthread_self(), threadName, sizeof (threadName));

        // Recorded before the reply goes: the writer thread may hand it to the client at once,
        // and a client that has its reply must find its message recorded.
        {
            const std::lock_guard<std::mutex> lock (mutex);
            messages.push_back (text);
            threadNames.push_back (threadName);
            onMessageThread.push_back (std::this_thread::get_id() == mainThreadId());
        }

        bool sent = false;

        if (echo)
        {
            const auto reply = "re:" + text;
            sent = sendMessage (std::vector<std::uint8_t> (reply.begin(), reply.end()));
        }

        {
            const std::lock_guard<std::mutex> lock (mutex);
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

    // With rounds of its own; otherwise use pumpUntil.
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
    std::atomic<bool> stopping{false};
    std::thread mainThread;
};
} // namespace pipe_testing
