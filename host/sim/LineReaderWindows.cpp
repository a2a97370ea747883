// Windows: a console, pipe or file handle cannot be waited on alike, and a console's or an
// anonymous pipe's ReadFile cannot be given a time limit. A thread of the reader's own reads
// the handle and hands what it read over; the reader waits for that as long as asked. The
// thread may stay blocked in ReadFile after the reader is gone (it owns what it shares with
// the reader), and ends with the process.

#include "LineReader.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <io.h>
#include <windows.h>

namespace reaper_host
{
namespace
{
struct Arrivals
{
    std::mutex lock;
    std::condition_variable changed;
    std::string data;
    bool ended = false;
};

void readUntilEnd (HANDLE handle, const std::shared_ptr<Arrivals>& arrivals)
{
    char buffer[4096];

    for (;;)
    {
        DWORD count = 0;
        const bool read = ::ReadFile (handle, buffer, sizeof (buffer), &count, nullptr) != 0;
        const std::lock_guard<std::mutex> guard (arrivals->lock);

        // A console ends its lines with CR LF; the commands are split at LF alone.
        std::copy_if (buffer, buffer + (read ? count : 0), std::back_inserter (arrivals->data), [] (char c)
                      { return c != '\r'; });
        arrivals->ended = !read || count == 0; // an error, the pipe's writer gone, or end of file (Ctrl+Z typed)
        arrivals->changed.notify_all();

        if (arrivals->ended)
            return;
    }
}
} // namespace

struct LineReader::Input
{
    std::shared_ptr<Arrivals> arrivals = std::make_shared<Arrivals>();
};

LineReader::LineReader (int fileDescriptor)
    : input (new Input)
{
    const auto handle = reinterpret_cast<HANDLE> (::_get_osfhandle (fileDescriptor));

    if (handle == INVALID_HANDLE_VALUE)
        input->arrivals->ended = true;
    else
        std::thread (&readUntilEnd, handle, input->arrivals).detach();
}

LineReader::~LineReader() = default;

LineReader::Read LineReader::readSome (std::chrono::microseconds timeout, std::string& into)
{
    auto& arrivals = *input->arrivals;
    std::unique_lock<std::mutex> guard (arrivals.lock);
    arrivals.changed.wait_for (guard, std::max (timeout, std::chrono::microseconds (0)), [&]
                               { return !arrivals.data.empty() || arrivals.ended; });

    if (!arrivals.data.empty())
    {
        into += arrivals.data;
        arrivals.data.clear();
        return Read::data;
    }

    return arrivals.ended ? Read::end : Read::nothing;
}
} // namespace reaper_host
