#include "ClientJobs.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace client_jobs
{
namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kReplyTimeoutMs = 5000;

double microsecondsBetween (Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::micro> (to - from).count();
}
} // namespace

std::vector<double> roundTrips (PipeClient& client, const std::string& request, int count,
                                const std::function<bool (const std::string&)>& replyIsRight)
{
    std::vector<double> samples;
    samples.reserve (static_cast<std::size_t> (count));

    for (int i = 0; i < count; ++i)
    {
        const auto start = Clock::now();

        if (!client.send (request, kReplyTimeoutMs))
            break;

        const auto reply = client.receive (kReplyTimeoutMs);
        const auto end = Clock::now();

        if (!reply || !replyIsRight (*reply))
            break;

        samples.push_back (microsecondsBetween (start, end));
    }

    return samples;
}

PipelinedResult pipelined (PipeClient& client, const std::string& request, int count,
                           const std::function<bool (const std::string&)>& replyIsRight)
{
    PipelinedResult result;
    std::vector<Clock::time_point> written (static_cast<std::size_t> (count));
    std::atomic<int> writtenCount{0};
    const auto start = Clock::now();

    std::thread writer ([&]
                        {
                            for (int i = 0; i < count; ++i)
                            {
                                if (! client.send (request, kReplyTimeoutMs))
                                    return;

                                written[static_cast<std::size_t> (i)] = Clock::now();
                                writtenCount.store (i + 1, std::memory_order_release);
                            } });

    auto lastReply = start;

    for (int i = 0; i < count; ++i)
    {
        const auto reply = client.receive (kReplyTimeoutMs);

        if (!reply)
            break;

        lastReply = Clock::now();

        if (!replyIsRight (*reply))
            continue;

        ++result.answered;

        // A reply can come before the writer has noted its own time; then it waited ~0.
        if (writtenCount.load (std::memory_order_acquire) > i)
            result.waitMicroseconds.push_back (microsecondsBetween (written[static_cast<std::size_t> (i)], lastReply));
    }

    writer.join();
    result.seconds = std::chrono::duration<double> (lastReply - start).count();
    return result;
}
} // namespace client_jobs
