#include "mainthread/MainThreadQueue.h"

void MainThreadQueue::post (std::function<void()> work)
{
    const std::lock_guard<std::mutex> guard (lock);
    items.push_back (std::move (work));
}

int MainThreadQueue::runPending (int maxItems, Clock::time_point deadline)
{
    std::size_t waiting;

    {
        const std::lock_guard<std::mutex> guard (lock);
        waiting = items.size();
    }

    int run = 0;

    while (run < maxItems && static_cast<std::size_t> (run) < waiting && (run == 0 || Clock::now() < deadline))
    {
        std::function<void()> work;

        {
            const std::lock_guard<std::mutex> guard (lock);

            // clear() may have emptied the queue in the meantime.
            if (items.empty())
                break;

            work = std::move (items.front());
            items.pop_front();
        }

        ++run;

        if (work)
            work();
    }

    return run;
}

void MainThreadQueue::clear()
{
    std::deque<std::function<void()>> dropped;

    {
        const std::lock_guard<std::mutex> guard (lock);
        dropped.swap (items);
    }
}

std::size_t MainThreadQueue::size() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return items.size();
}
