#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace reliability_testing
{
// Runs one client's part of a test on its own thread, while the test's thread plays
// REAPER's main loop; joined when it goes.
class ClientThread
{
public:
    explicit ClientThread (std::function<void()> body)
        : thread ([this, body = std::move (body)]
                  {
                      body();
                      finished = true; })
    {
    }

    ~ClientThread()
    {
        join();
    }

    ClientThread (const ClientThread&) = delete;
    ClientThread& operator= (const ClientThread&) = delete;

    bool done() const
    {
        return finished;
    }

    void join()
    {
        if (thread.joinable())
            thread.join();
    }

private:
    std::atomic<bool> finished{false};
    std::thread thread;
};
} // namespace reliability_testing
