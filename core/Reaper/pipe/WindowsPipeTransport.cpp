// The pipe on Windows: one duplex named pipe, \\.\pipe\<name>, in the form JUCE's NamedPipe
// gives it there (byte mode, overlapped, 4096-byte buffers), which the library application
// opens with CreateFile and writes its requests into and reads its replies from on one handle.
//
// Each client has an instance of its own, and a thread ("JUCE IPC") that reads its requests
// and writes its replies, overlapped, so that neither a slow reader nor a stalled writer holds
// up another client, and REAPER's main thread never waits on one. A reply goes out on the
// instance its request came in on, so it can never reach another client; a client that
// leaves (ERROR_BROKEN_PIPE, ERROR_NO_DATA) takes the rest of a packet it left unfinished and
// the replies queued for it with it, one log line each. A listener thread ("Pipe listener")
// keeps one instance waiting for the next client.
//
// Who serves: one process at a time. The pipe is not made while another process has an
// instance of that name (another REAPER, or a program that took the name), and its first
// instance is made with FILE_FLAG_FIRST_PIPE_INSTANCE, which fails then too (Wine does not
// enforce the flag: the look before it is what refuses there); the keeper tries again until
// the name is free. The pipe's DACL grants the current user and SYSTEM alone, and remote clients are
// refused.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "LogTexts.h"
#include "PacketBuilder.h"
#include "PacketFramer.h"
#include "PipeContract.h"
#include "Platform.h"
#include "logging/Log.h"
#include "pipe/PipeReader.h"
#include "pipe/PipeTransport.h"
#include "pipe/WindowsPipeName.h"

namespace
{
constexpr DWORD kPipeBufferSize = 4096;

// Clients served at once; the next waits (its CreateFile sees the pipe busy) until one leaves.
constexpr std::size_t kMaxClients = 32;

// After an instance could not be made, the listener tries again after this pause.
constexpr DWORD kListenRetryMs = 100;

class Handle
{
public:
    Handle() = default;
    explicit Handle (HANDLE h)
        : handle (h == INVALID_HANDLE_VALUE ? nullptr : h)
    {
    }
    ~Handle()
    {
        reset();
    }
    Handle (Handle&& other) noexcept
        : handle (std::exchange (other.handle, nullptr))
    {
    }
    Handle& operator= (Handle&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            handle = std::exchange (other.handle, nullptr);
        }
        return *this;
    }

    HANDLE get() const
    {
        return handle;
    }
    bool isValid() const
    {
        return handle != nullptr;
    }
    void reset()
    {
        if (handle != nullptr)
            ::CloseHandle (std::exchange (handle, nullptr));
    }

private:
    HANDLE handle = nullptr;
};

Handle makeEvent (bool manualReset)
{
    return Handle (::CreateEventW (nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr));
}

bool clientLeft (DWORD error)
{
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

// A DACL that grants the current user and SYSTEM full access, and no one else any.
class OwnerOnlySecurity
{
public:
    // False when the process's user cannot be found out.
    bool make()
    {
        HANDLE token = nullptr;

        if (!::OpenProcessToken (::GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;

        DWORD size = 0;
        ::GetTokenInformation (token, TokenUser, nullptr, 0, &size);
        tokenUser.resize (size);
        const bool known = size > 0 && ::GetTokenInformation (token, TokenUser, tokenUser.data(), size, &size);
        ::CloseHandle (token);

        DWORD systemSize = sizeof (systemSid);

        if (!known || !::CreateWellKnownSid (WinLocalSystemSid, nullptr, systemSid, &systemSize))
            return false;

        const PSID user = reinterpret_cast<TOKEN_USER*> (tokenUser.data())->User.Sid;
        acl.resize (sizeof (ACL) + 2 * sizeof (ACCESS_ALLOWED_ACE) + ::GetLengthSid (user) + ::GetLengthSid (systemSid));
        const auto dacl = reinterpret_cast<PACL> (acl.data());

        return ::InitializeAcl (dacl, static_cast<DWORD> (acl.size()), ACL_REVISION)
               && ::AddAccessAllowedAce (dacl, ACL_REVISION, FILE_ALL_ACCESS, user)
               && ::AddAccessAllowedAce (dacl, ACL_REVISION, FILE_ALL_ACCESS, systemSid)
               && ::InitializeSecurityDescriptor (&descriptor, SECURITY_DESCRIPTOR_REVISION)
               && ::SetSecurityDescriptorDacl (&descriptor, TRUE, dacl, FALSE);
    }

    SECURITY_ATTRIBUTES* attributes()
    {
        attributesValue = {sizeof (SECURITY_ATTRIBUTES), &descriptor, FALSE};
        return &attributesValue;
    }

private:
    std::vector<BYTE> tokenUser, acl;
    alignas (DWORD) BYTE systemSid[SECURITY_MAX_SID_SIZE]{};
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributesValue{};
};

class WindowsPipeTransport : public PipeTransport
{
public:
    explicit WindowsPipeTransport (std::uint32_t magicNumber)
        : magic (magicNumber)
        , clients (std::make_shared<Clients>())
    {
    }

    ~WindowsPipeTransport() override
    {
        close (true);
    }

    Outcome open (const std::string& pipeName, int, bool, Events eventsToTell) override
    {
        close (true);
        path = pipe_contract::windowsPipePath (pipeName);
        name = windows_pipe_name::path (pipeName);

        if (!security.make())
            return Outcome::fail (path + " has no owner-only access list: the process's user is not known");

        const auto inUse = path + " is served by another process (another REAPER, or a program that took its name)";

        if (windows_pipe_name::inUse (name))
            return Outcome::fail (inUse);

        Handle first = makeInstance (true);

        if (!first.isValid())
        {
            const auto error = ::GetLastError();

            if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
                return Outcome::fail (inUse);

            return Outcome::fail (path + " cannot be made (Windows error " + std::to_string (error) + ")");
        }

        stopEvent = makeEvent (true);
        clientDone = makeEvent (false);

        if (!stopEvent.isValid() || !clientDone.isValid())
            return Outcome::fail (path + " cannot be served: no event");

        {
            const std::lock_guard<std::mutex> guard (clients->lock);
            events = std::move (eventsToTell);
        }

        waiting = std::move (first);
        return Outcome::ok();
    }

    bool start() override
    {
        if (!waiting.isValid() || listener.joinable())
            return false;

        serving = true;
        listener = std::thread ([this]
                                { listen(); });
        return true;
    }

    std::function<void()> roomAgain() const override
    {
        return [list = clients]
        {
            const std::lock_guard<std::mutex> guard (list->lock);

            for (auto& entry : list->all)
                ::SetEvent (entry.second->wake.get());
        };
    }

    bool write (std::vector<std::uint8_t> message, unsigned client, AfterReply afterward) override
    {
        auto header = message.empty() ? std::string() : packetHeader (magic, message.size());
        bool queued = false;

        if (!header.empty())
        {
            const std::lock_guard<std::mutex> guard (clients->lock);
            const auto found = clients->all.find (client);

            // A client that has left gets nothing more: its instance is gone.
            if (found != clients->all.end() && !found->second->finished)
            {
                if (events.replyTaken)
                    events.replyTaken (header.size() + message.size() + afterward.heldBytes);

                found->second->queue.push_back (Reply{std::move (header), std::move (message), std::move (afterward)});
                ::SetEvent (found->second->wake.get());
                queued = true;
            }
        }

        if (!queued && afterward.run)
            afterward.run();

        return queued;
    }

    void beginRun() override
    {
    }

    void endRun() override
    {
    }

    unsigned departures() const override
    {
        return clientsGone;
    }

    std::size_t unwritten() const override
    {
        const std::lock_guard<std::mutex> guard (clients->lock);
        std::size_t count = 0;

        for (const auto& entry : clients->all)
            count += entry.second->queue.size();

        return count;
    }

    bool stillInPlace() const override
    {
        return serving;
    }

    void close (bool) override
    {
        if (stopEvent.isValid())
            ::SetEvent (stopEvent.get());

        if (listener.joinable())
            listener.join();

        std::map<unsigned, std::shared_ptr<Client>> all;

        {
            const std::lock_guard<std::mutex> guard (clients->lock);
            all.swap (clients->all);
        }

        for (auto& entry : all)
            if (entry.second->thread.joinable())
                entry.second->thread.join();

        waiting.reset();
        serving = false;
        stopEvent.reset();
        clientDone.reset();
    }

private:
    struct Reply
    {
        std::string header;
        std::vector<std::uint8_t> message;
        AfterReply afterward;

        // The bytes written.
        std::size_t size() const
        {
            return header.size() + message.size();
        }

        // The bytes held until it is written or dropped.
        std::size_t held() const
        {
            return size() + afterward.heldBytes;
        }
    };

    // One connected instance. Its queue and finished flag are guarded by the list's lock.
    struct Client
    {
        Handle pipe;
        Handle wake = makeEvent (false);
        std::deque<Reply> queue;
        bool finished = false;
        std::thread thread;
    };

    struct Clients
    {
        std::mutex lock;
        std::map<unsigned, std::shared_ptr<Client>> all;
    };

    Handle makeInstance (bool first)
    {
        const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
        const DWORD pipeMode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
        return Handle (::CreateNamedPipeW (name.c_str(), openMode, pipeMode, PIPE_UNLIMITED_INSTANCES, kPipeBufferSize,
                                           kPipeBufferSize, 0, security.attributes()));
    }

    bool stopping() const
    {
        return ::WaitForSingleObject (stopEvent.get(), 0) == WAIT_OBJECT_0;
    }

    // The listener's thread: waits for a client on the instance made last, hands it a thread
    // of its own and makes the next instance, until the transport closes.
    void listen()
    {
        platform::setCurrentThreadName ("Pipe listener");
        const Handle connected = makeEvent (true);
        unsigned nextClient = 0;

        while (!stopping())
        {
            reapFinished();

            if (!waiting.isValid())
            {
                if (clientCount() < kMaxClients)
                    waiting = makeInstance (false);

                if (!waiting.isValid())
                {
                    HANDLE waits[] = {stopEvent.get(), clientDone.get()};
                    ::WaitForMultipleObjects (2, waits, FALSE, kListenRetryMs);
                    continue;
                }
            }

            OVERLAPPED over{};
            over.hEvent = connected.get();
            ::ResetEvent (over.hEvent);
            DWORD error = ::ConnectNamedPipe (waiting.get(), &over) ? ERROR_PIPE_CONNECTED : ::GetLastError();

            if (error == ERROR_IO_PENDING)
                error = waitForClient (over);

            if (error == ERROR_PIPE_CONNECTED)
                serve (++nextClient, std::move (waiting));
            else if (error == ERROR_NO_DATA)
                ::DisconnectNamedPipe (waiting.get()); // a client that came and went at once
            else if (error != ERROR_OPERATION_ABORTED)
                waiting.reset();
        }

        waiting.reset();
    }

    // ERROR_PIPE_CONNECTED once a client has come, else why not.
    DWORD waitForClient (OVERLAPPED& over)
    {
        HANDLE waits[] = {over.hEvent, stopEvent.get(), clientDone.get()};

        for (;;)
        {
            const auto woken = ::WaitForMultipleObjects (3, waits, FALSE, INFINITE);

            if (woken == WAIT_OBJECT_0 + 2)
            {
                reapFinished();
                continue;
            }

            if (woken != WAIT_OBJECT_0)
                ::CancelIoEx (waiting.get(), &over);

            DWORD ignored = 0;
            return ::GetOverlappedResult (waiting.get(), &over, &ignored, TRUE) ? ERROR_PIPE_CONNECTED : ::GetLastError();
        }
    }

    std::size_t clientCount() const
    {
        const std::lock_guard<std::mutex> guard (clients->lock);
        return clients->all.size();
    }

    void serve (unsigned number, Handle pipe)
    {
        auto client = std::make_shared<Client>();
        client->pipe = std::move (pipe);

        const std::lock_guard<std::mutex> guard (clients->lock);
        clients->all[number] = client;
        client->thread = std::thread ([this, number, client]
                                      { serveClient (number, *client); });
    }

    // Joins the threads of clients that have left.
    void reapFinished()
    {
        std::vector<std::shared_ptr<Client>> done;

        {
            const std::lock_guard<std::mutex> guard (clients->lock);

            for (auto entry = clients->all.begin(); entry != clients->all.end();)
            {
                if (entry->second->finished)
                {
                    done.push_back (entry->second);
                    entry = clients->all.erase (entry);
                }
                else
                    ++entry;
            }
        }

        for (auto& client : done)
            if (client->thread.joinable())
                client->thread.join();
    }

    // One client's thread: reads its requests and writes its replies, each overlapped, and
    // waits for whichever comes first, until the client leaves or the transport closes.
    void serveClient (unsigned number, Client& client)
    {
        platform::setCurrentThreadName ("JUCE IPC");
        PacketFramer framer (magic, PacketFramer::kMaxRequestSize);
        std::vector<char> buffer (PipeReader::kReadChunkSize);
        const Handle readDone = makeEvent (true), writeDone = makeEvent (true);
        OVERLAPPED readOver{}, writeOver{};
        bool reading = false, writing = false;
        std::size_t written = 0;
        DWORD failure = 0;
        const HANDLE pipe = client.pipe.get();

        while (failure == 0 && !stopping())
        {
            if (!reading && (!events.hasRoom || events.hasRoom (framer.partialPayloadBytes())))
            {
                readOver = {};
                readOver.hEvent = readDone.get();

                if (::ReadFile (pipe, buffer.data(), static_cast<DWORD> (buffer.size()), nullptr, &readOver) || ::GetLastError() == ERROR_IO_PENDING)
                    reading = true;
                else
                    failure = ::GetLastError();
            }

            const Reply* front = nullptr;

            if (!writing && failure == 0)
            {
                const std::lock_guard<std::mutex> guard (clients->lock);
                front = client.queue.empty() ? nullptr : &client.queue.front();
            }

            // Only this thread takes from the queue, and adding at its end leaves the front
            // in place, so the reply may be read without the lock.
            if (front != nullptr)
            {
                writeOver = {};
                writeOver.hEvent = writeDone.get();
                const bool inHeader = written < front->header.size();
                const auto* data = inHeader ? reinterpret_cast<const std::uint8_t*> (front->header.data()) + written
                                            : front->message.data() + (written - front->header.size());
                const auto size = static_cast<DWORD> (inHeader ? front->header.size() - written : front->size() - written);

                if (::WriteFile (pipe, data, size, nullptr, &writeOver) || ::GetLastError() == ERROR_IO_PENDING)
                    writing = true;
                else
                    failure = ::GetLastError();
            }

            if (failure != 0)
                break;

            HANDLE waits[4] = {stopEvent.get(), client.wake.get()};
            DWORD count = 2;

            if (reading)
                waits[count++] = readDone.get();

            if (writing)
                waits[count++] = writeDone.get();

            ::WaitForMultipleObjects (count, waits, FALSE, INFINITE);
            DWORD transferred = 0;

            if (reading && HasOverlappedIoCompleted (&readOver))
            {
                reading = false;

                if (::GetOverlappedResult (pipe, &readOver, &transferred, FALSE))
                    deliver (framer, buffer.data(), transferred, number);
                else
                    failure = ::GetLastError();
            }

            if (writing && HasOverlappedIoCompleted (&writeOver))
            {
                writing = false;

                if (!::GetOverlappedResult (pipe, &writeOver, &transferred, FALSE))
                    failure = ::GetLastError();
                else if ((written += transferred) == client.queue.front().size())
                {
                    written = 0;
                    finish (client, 1);
                }
            }
        }

        // What a departed client wrote before it left is read to the end (its reads fail at
        // once after that), so that its whole packets are handed on, in whatever order its
        // leaving showed on the two directions.
        for (DWORD got = 0; clientLeft (failure);)
        {
            if (!reading)
            {
                readOver = {};
                readOver.hEvent = readDone.get();
                reading = ::ReadFile (pipe, buffer.data(), static_cast<DWORD> (buffer.size()), nullptr, &readOver)
                          || ::GetLastError() == ERROR_IO_PENDING;
            }

            if (!reading || !::GetOverlappedResult (pipe, &readOver, &got, TRUE))
                break;

            reading = false;
            deliver (framer, buffer.data(), got, number);
        }

        // What is still under way ends before its buffers go.
        DWORD ignored = 0;

        if (reading || writing)
            ::CancelIoEx (pipe, nullptr);

        if (reading)
            ::GetOverlappedResult (pipe, &readOver, &ignored, TRUE);

        // What a write moved before the cancel is out.
        if (writing)
        {
            ::GetOverlappedResult (pipe, &writeOver, &ignored, TRUE);
            written += ignored;
        }

        if (failure != 0)
            clientLeaves (framer, client, failure);
        else
            writeWithoutWaiting (client, written);

        ::SetEvent (clientDone.get());
    }

    void deliver (PacketFramer& framer, const char* data, DWORD size, unsigned number)
    {
        framer.feed (data, size);
        PacketFramer::Event event;

        while (framer.nextEvent (event))
        {
            if (event.kind == PacketFramer::Event::Kind::oversizeSkipped)
                logging::writeToLog (log_texts::oversizeSkipped (event.announcedSize, PacketFramer::kMaxRequestSize));
            else if (events.packetReceived)
                events.packetReceived (std::move (event.payload), number);

            event.payload = {};
        }
    }

    // The client has gone (or its instance failed): what it left unfinished, and its replies
    // still queued, go with it.
    void clientLeaves (PacketFramer& framer, Client& client, DWORD error)
    {
        if (!clientLeft (error))
            logging::writeToLog ("Pipe client dropped: Windows error " + std::to_string (error));

        if (framer.isMidPacket())
            logging::writeToLog (log_texts::incompletePacketDropped (static_cast<std::int64_t> (framer.dropPartialPacket()), log_texts::kDroppedClientLeft));

        ::DisconnectNamedPipe (client.pipe.get());
        const auto dropped = markFinished (client);
        ++clientsGone;

        if (dropped > 0)
            logging::writeToLog (log_texts::queuedRepliesDropped (dropped));

        finish (client, SIZE_MAX);
    }

    // Closing: the replies still queued (the rest of one begun first) get one try each that
    // does not wait, until one does not go in whole at once; the rest are dropped with the
    // pipe. The client reads what went in before it sees the pipe close.
    void writeWithoutWaiting (Client& client, std::size_t written)
    {
        markFinished (client);

        for (bool cutOff = false; !cutOff; written = 0)
        {
            const Reply* front = nullptr;

            {
                const std::lock_guard<std::mutex> guard (clients->lock);
                front = client.queue.empty() ? nullptr : &client.queue.front();
            }

            if (front == nullptr)
                break;

            cutOff = !writeAtOnce (client.pipe.get(), *front, written);
            finish (client, 1);
        }

        finish (client, SIZE_MAX);
    }

    static bool writeAtOnce (HANDLE pipe, const Reply& reply, std::size_t written)
    {
        std::string packet = reply.header;
        packet.append (reply.message.begin(), reply.message.end());
        packet.erase (0, written);
        const Handle done = makeEvent (true);
        OVERLAPPED over{};
        over.hEvent = done.get();
        DWORD transferred = 0;

        if (!::WriteFile (pipe, packet.data(), static_cast<DWORD> (packet.size()), nullptr, &over))
        {
            if (::GetLastError() != ERROR_IO_PENDING)
                return false;

            if (::WaitForSingleObject (done.get(), 0) != WAIT_OBJECT_0)
                ::CancelIoEx (pipe, &over);
        }

        return ::GetOverlappedResult (pipe, &over, &transferred, TRUE) && transferred == packet.size();
    }

    // No reply is queued for the client from now on; the number of those queued.
    std::size_t markFinished (Client& client)
    {
        const std::lock_guard<std::mutex> guard (clients->lock);
        client.finished = true;
        return client.queue.size();
    }

    // Takes up to count replies from the front of the queue: written or dropped.
    void finish (Client& client, std::size_t count)
    {
        for (; count > 0; --count)
        {
            Reply reply;

            {
                const std::lock_guard<std::mutex> guard (clients->lock);

                if (client.queue.empty())
                    return;

                reply = std::move (client.queue.front());
                client.queue.pop_front();
            }

            if (events.replyDone)
                events.replyDone (reply.held());

            if (reply.afterward.run)
                reply.afterward.run();
        }
    }

    const std::uint32_t magic;
    std::string path;
    std::wstring name;
    OwnerOnlySecurity security;
    Events events;

    // Set while open: stops every thread; tells the listener a client's thread has ended.
    Handle stopEvent, clientDone;

    // The instance the next client connects to (the listener's while it runs).
    Handle waiting;

    std::shared_ptr<Clients> clients;
    std::atomic<bool> serving{false};
    std::atomic<unsigned> clientsGone{0};
    std::thread listener;
};
} // namespace

std::unique_ptr<PipeTransport> makePipeTransport (std::uint32_t magic)
{
    return std::make_unique<WindowsPipeTransport> (magic);
}
