// The library application's end of the pipe on Windows: one duplex named pipe,
// \\.\pipe\<name>, opened as JUCE's client opens it (CreateFile with GENERIC_READ |
// GENERIC_WRITE, no sharing, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, tried again every 1 ms
// until the timeout); requests are written into the handle and replies read from it. The
// handle is kept in both descriptor fields (HandleToLong: a kernel handle fits in 32 bits).

#include <windows.h>

#include <chrono>
#include <vector>

#include "PipeClient.h"
#include "PipeContract.h"
#include "WideText.h"

namespace
{
using Clock = std::chrono::steady_clock;

DWORD millisecondsUntil (Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
    return left > 0 ? static_cast<DWORD> (left) : 0;
}

HANDLE handleOf (int fd)
{
    return fd < 0 ? INVALID_HANDLE_VALUE : LongToHandle (fd);
}

// One overlapped read or write, waited for until the deadline and cancelled then; the bytes
// it moved. failed: the pipe is broken or gone.
DWORD transfer (HANDLE pipe, bool writing, void* data, DWORD size, Clock::time_point deadline, bool& failed)
{
    OVERLAPPED over{};
    over.hEvent = ::CreateEventW (nullptr, TRUE, FALSE, nullptr);
    const BOOL done = writing ? ::WriteFile (pipe, data, size, nullptr, &over) : ::ReadFile (pipe, data, size, nullptr, &over);
    DWORD moved = 0;

    if (!done && ::GetLastError() != ERROR_IO_PENDING)
        failed = true;
    else
    {
        if (::WaitForSingleObject (over.hEvent, millisecondsUntil (deadline)) != WAIT_OBJECT_0)
            ::CancelIoEx (pipe, &over);

        if (!::GetOverlappedResult (pipe, &over, &moved, TRUE) && ::GetLastError() != ERROR_OPERATION_ABORTED)
            failed = true;
    }

    ::CloseHandle (over.hEvent);
    return moved;
}

bool writeBefore (int fd, const std::string& bytes, Clock::time_point deadline)
{
    std::size_t written = 0;
    bool failed = fd < 0;

    while (!failed && written < bytes.size())
    {
        written += transfer (handleOf (fd), true, const_cast<char*> (bytes.data() + written),
                             static_cast<DWORD> (bytes.size() - written), deadline, failed);

        if (Clock::now() >= deadline)
            break;
    }

    return !failed && written == bytes.size();
}

} // namespace

PipeClient::PipeClient (std::uint32_t magicNumber)
    : magic (magicNumber)
    , framer (magicNumber)
{
}

PipeClient::~PipeClient()
{
    close();
}

bool PipeClient::open (const std::string& pipeName, int timeoutMs)
{
    close();
    lastOpen = {};
    lastOpen.path = pipe_contract::windowsPipePath (pipeName);
    const auto name = wide_text::fromUtf8 (lastOpen.path);
    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);

    for (;;)
    {
        const HANDLE pipe = ::CreateFileW (name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OVERLAPPED, nullptr);

        if (pipe != INVALID_HANDLE_VALUE)
        {
            requestFd = replyFd = HandleToLong (pipe);
            lastOpen.status = PipeOpenResult::Status::open;
            return true;
        }

        const auto error = ::GetLastError();
        const bool retry = error == ERROR_FILE_NOT_FOUND || error == ERROR_PIPE_BUSY;

        if (!retry || Clock::now() >= deadline)
        {
            using Status = PipeOpenResult::Status;
            lastOpen.status = error == ERROR_FILE_NOT_FOUND  ? Status::missing
                              : error == ERROR_PIPE_BUSY     ? Status::noReader
                              : error == ERROR_ACCESS_DENIED ? Status::denied
                                                             : Status::failed;
            lastOpen.reason = error == ERROR_PIPE_BUSY       ? "all of its instances are busy"
                              : error == ERROR_ACCESS_DENIED ? "access denied"
                                                             : "Windows error " + std::to_string (error);
            return false;
        }

        ::Sleep (1);
    }
}

std::size_t PipeClient::discardWaiting()
{
    std::size_t discarded = framer.dropPartialPacket();
    PacketFramer::Event event;

    while (framer.nextEvent (event))
        discarded += PacketFramer::kHeaderSize + event.payload.size();

    DWORD available = 0;
    std::vector<char> buffer (65536);

    while (replyFd >= 0 && ::PeekNamedPipe (handleOf (replyFd), nullptr, 0, nullptr, &available, nullptr) && available > 0)
    {
        bool failed = false;
        const auto got = transfer (handleOf (replyFd), false, buffer.data(), static_cast<DWORD> (buffer.size()), Clock::now(), failed);
        discarded += got;

        if (failed || got == 0)
            break;
    }

    return discarded;
}

bool PipeClient::send (const std::string& payload, int timeoutMs)
{
    const auto packet = buildPacket (magic, payload.data(), payload.size());
    return !packet.empty() && sendRaw (packet, timeoutMs);
}

bool PipeClient::sendRaw (const std::string& bytes, int timeoutMs)
{
    return writeBefore (requestFd, bytes, Clock::now() + std::chrono::milliseconds (timeoutMs));
}

std::optional<std::string> PipeClient::receive (int timeoutMs)
{
    if (replyFd < 0)
        return std::nullopt;

    const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs);
    std::vector<char> buffer (65536);
    bool readOnce = false;

    for (;;)
    {
        PacketFramer::Event event;

        while (framer.nextEvent (event))
            if (event.kind == PacketFramer::Event::Kind::payload)
                return std::string (event.payload.begin(), event.payload.end());

        // Even without time left, what has already arrived is read once.
        if (millisecondsUntil (deadline) == 0 && readOnce)
            return std::nullopt;

        readOnce = true;
        bool failed = false;
        const auto got = transfer (handleOf (replyFd), false, buffer.data(), static_cast<DWORD> (buffer.size()), deadline, failed);
        framer.feed (buffer.data(), got);

        if (failed)
            return std::nullopt;
    }
}

bool PipeClient::writeIntoReplyFifo (const std::string&)
{
    // One handle carries both directions: there is no reply channel of its own to write into.
    return false;
}

void PipeClient::close()
{
    if (requestFd >= 0)
        ::CloseHandle (handleOf (requestFd));

    requestFd = -1;
    replyFd = -1;
    framer.reset();
}

bool PipeClient::isOpen() const
{
    return requestFd >= 0;
}
