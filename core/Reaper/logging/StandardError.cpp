#include "logging/StandardError.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "ModulePin.h"
#include "Platform.h"
#include "SigPipeSuppressor.h"
#include "logging/LogText.h"
#include "logging/StandardErrorStream.h"

namespace standard_error
{
namespace
{
long long linesIn (const std::string& text, std::size_t from)
{
    return std::count (text.begin() + static_cast<std::ptrdiff_t> (from), text.end(), '\n');
}

class Writer
{
public:
    void queue (const std::string& lines)
    {
        {
            const std::lock_guard<std::mutex> guard (lock);
            queued += lines;
            lost += log_text::dropOldestLines (queued, kQueuedBytes);
        }

        wake.notify_one();
    }

    // True when the thread has ended or is about to: it was idle, with nothing queued.
    bool stopWhenIdle()
    {
        {
            const std::lock_guard<std::mutex> guard (lock);
            stopping = true;

            if (!idle || !queued.empty())
                return false;
        }

        wake.notify_one();
        return true;
    }

    bool waitUntilWritten (std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard (lock);
        return written.wait_for (guard, limit, [this]
                                 { return idle && queued.empty(); });
    }

    static void run (std::shared_ptr<Writer> self)
    {
        platform::setCurrentThreadName ("Standard error");
        const SigPipeSuppressor quiet (-1);
        self->writeUntilStopped();
    }

private:
    void writeUntilStopped()
    {
        std::unique_lock<std::mutex> guard (lock);

        while (!(stopping && queued.empty()))
        {
            if (queued.empty())
            {
                idle = true;
                written.notify_all();
                wake.wait (guard);
                idle = false;
                continue;
            }

            std::string text;
            text.swap (queued);
            const auto lostBefore = std::exchange (lost, 0);
            guard.unlock();

            const auto notice = lostBefore > 0 ? log_text::lostNotice (lostBefore) : std::string();
            const auto done = writeOut (notice + text);
            const auto lostNow = done < notice.size() ? lostBefore + linesIn (text, 0) : linesIn (notice + text, done);

            guard.lock();
            lost += lostNow;
        }

        idle = true;
        written.notify_all();
    }

    // How many bytes went out, piece by piece: whole lines up to a piece's bytes, a longer
    // line's first such bytes.
    std::size_t writeOut (const std::string& text)
    {
        const auto pieceBytes = StandardErrorStream::pieceBytes();
        std::size_t from = 0;

        while (from < text.size())
        {
            auto end = from;

            for (auto next = from; end < text.size(); end = next)
            {
                const auto lineEnd = text.find ('\n', end);
                next = lineEnd == std::string::npos ? text.size() : lineEnd + 1;

                if (next - from > pieceBytes)
                    break;
            }

            if (end == from)
                end = from + std::min (pieceBytes, text.size() - from);

            const auto taken = stream.writePiece (text.data() + from, end - from);
            from += taken;

            if (from < end)
                break;
        }

        return from;
    }

    StandardErrorStream stream;

    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable written;
    std::string queued;
    long long lost = 0;
    // Not writing, nothing taken: also before the thread first runs, so that an unload right
    // after the load still ends it at once.
    bool idle = true;
    bool stopping = false;
};

// The writer running, if any. Never destroyed: a writer started outside the entry calls (a
// test) runs until the process ends, and no thread ends in a static destructor. Built in the
// module's own static storage, not on the heap, so that nothing of it is left behind when the
// module is unloaded.
struct Current
{
    std::mutex lock;
    std::shared_ptr<Writer> writer;
    std::thread thread;
};

Current& current()
{
    alignas (Current) static unsigned char storage[sizeof (Current)];
    static auto* const running = new (storage) Current;
    return *running;
}

std::shared_ptr<Writer> startLocked (Current& now)
{
    if (!now.writer)
    {
        now.writer = std::make_shared<Writer>();
        now.thread = std::thread (&Writer::run, now.writer);
    }

    return now.writer;
}
} // namespace

void start()
{
    auto& now = current();
    const std::lock_guard<std::mutex> guard (now.lock);
    startLocked (now);
}

void write (const std::string& lines)
{
    auto& now = current();
    std::unique_lock<std::mutex> guard (now.lock);
    const auto writer = startLocked (now);
    guard.unlock();

    writer->queue (lines);
}

void stop()
{
    auto& now = current();
    const std::lock_guard<std::mutex> guard (now.lock);

    if (!now.writer)
        return;

    if (now.writer->stopWhenIdle())
    {
        now.thread.join();
    }
    else
    {
        // Its write may return long after the module would have been unmapped. Should the pin
        // fail there is no log left to say so, and unload still never waits on a client.
        (void) module_pin::keepMapped();
        now.thread.detach();
    }

    now.writer.reset();
}

bool waitUntilWritten (std::chrono::milliseconds limit)
{
    auto& now = current();
    std::unique_lock<std::mutex> guard (now.lock);
    const auto writer = now.writer;
    guard.unlock();

    return !writer || writer->waitUntilWritten (limit);
}
} // namespace standard_error
