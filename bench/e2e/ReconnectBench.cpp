// Clients that come and go back to back, as a library application restarted again and again
// would: 150 in turn, one after the other, of five kinds: one reads all its replies, one
// leaves in the middle of a large reply, one closes its request end and then reads its
// replies, one leaves before any reply, one opens the reply FIFO only after its requests.
// Every request is a spot of a missing file of its own, so each reply (its failure text)
// names whose it is. Printed: the replies that named another client's file (crossed), the
// clients whose reply stream went out of step (bytes that are not a packet's start, or its
// own replies out of order), and the replies a client waited for in vain (missing); with a
// gap of 2 ms between one client leaving and the next opening the FIFOs, and with none.
//
//   bv-bench-reconnects [--smoke] [--clients N] [--period-ms MS] [--module PATH]
//
// Each gap in a module of its own.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "ExtensionLibrary.h"
#include "FdTransfer.h"
#include "FigureTable.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "PacketFramer.h"
#include "PipeClient.h"
#include "PipeContract.h"
#include "ProtocolParsing.h"
#include "RequestPayloads.h"
#include "TemporaryHome.h"
#include "UniqueFd.h"

namespace
{
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kReplyTimeoutMs = 3000;
constexpr int kRequestsEach = 2;

// The reply to a large request is about three times its path (bytes that are not UTF-8 become
// U+FFFD), larger than the reply FIFO holds: its client leaves while it is being written.
constexpr std::size_t kLargePathBytes = 30000;

enum class Kind
{
    readsAll,
    leavesMidReply,
    closesRequestsThenReads,
    leavesEarly,
    opensRepliesLate,
    count
};

struct Tally
{
    int crossed = 0, outOfStep = 0, missing = 0, expected = 0;
};

std::string pathFor (int client, int request, std::size_t padding = 0)
{
    return "/missing/" + std::to_string (client) + "/" + std::to_string (request) + "/" + std::string (padding, '\xFF');
}

std::string spotPacket (int client, int request, std::size_t padding = 0)
{
    const auto payload = request_payloads::spot (pathFor (client, request, padding), "t");
    return buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
}

// The client and request a reply's bytes name, read from the first "/missing/" in them.
std::optional<std::pair<int, int>> namedIn (const std::string& bytes)
{
    const auto at = bytes.find ("/missing/");
    int client = -1, request = -1;

    if (at == std::string::npos || std::sscanf (bytes.c_str() + at, "/missing/%d/%d/", &client, &request) != 2)
        return std::nullopt;

    return std::make_pair (client, request);
}

// Checks the replies a client read: each must be a failure naming its own next file.
void judge (Tally& tally, int client, const std::vector<std::string>& replies, int expected)
{
    tally.expected += expected;
    bool inStep = true;

    for (std::size_t i = 0; i < replies.size(); ++i)
    {
        BVReaper::ServerMessage message;
        const auto named = BVReaper::parseServerMessage (replies[i].data(), replies[i].size(), message)
                               ? namedIn (message.error().description())
                               : std::nullopt;

        if (named && named->first != client)
            ++tally.crossed;
        else if (!named || named->second != static_cast<int> (i))
            inStep = false;
    }

    tally.outOfStep += inStep ? 0 : 1;
    tally.missing += std::max (0, expected - static_cast<int> (replies.size()));
}

std::vector<std::string> receiveAll (PipeClient& client, int count)
{
    std::vector<std::string> replies;

    for (int i = 0; i < count; ++i)
        if (auto reply = client.receive (kReplyTimeoutMs))
            replies.push_back (std::move (*reply));
        else
            break;

    return replies;
}

bool sendAll (int fd, const std::string& bytes)
{
    std::size_t written = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds (kReplyTimeoutMs);

    while (fd_transfer::writeAll (fd, bytes.data(), bytes.size(), written) == EAGAIN && Clock::now() < deadline)
    {
        pollfd room{fd, POLLOUT, 0};
        ::poll (&room, 1, 10);
    }

    return written == bytes.size();
}

UniqueFd openFifo (const std::string& path, int flags)
{
    return UniqueFd (::open (path.c_str(), flags | O_NONBLOCK | O_CLOEXEC));
}

// Sends a large spot, reads the first bytes of its reply and leaves: they must be the start
// of a packet naming this client.
void leaveMidReply (Tally& tally, int client)
{
    const auto replies = openFifo (pipe_contract::replyFifoPath (pipe_contract::kPipeName), O_RDWR);
    const auto requests = openFifo (pipe_contract::requestFifoPath (pipe_contract::kPipeName), O_WRONLY);

    if (!replies.isValid() || !requests.isValid() || !sendAll (requests.get(), spotPacket (client, 0, kLargePathBytes)))
        return;

    pollfd arrived{replies.get(), POLLIN, 0};
    std::string first (16384, '\0');

    if (::poll (&arrived, 1, kReplyTimeoutMs) <= 0)
        return;

    const auto got = ::read (replies.get(), first.data(), first.size());
    first.resize (got > 0 ? static_cast<std::size_t> (got) : 0);
    const auto named = namedIn (first);
    std::uint32_t magic = 0;

    if (first.size() >= 4)
        std::memcpy (&magic, first.data(), 4);

    if (named && named->first != client)
        ++tally.crossed;
    else if (!named || magic != pipe_contract::kPacketMagic)
        ++tally.outOfStep;
}

void runClient (Tally& tally, int client)
{
    const auto kind = static_cast<Kind> (client % static_cast<int> (Kind::count));
    std::string requests;

    for (int i = 0; i < kRequestsEach; ++i)
        requests += spotPacket (client, i);

    if (kind == Kind::leavesMidReply)
        return leaveMidReply (tally, client);

    if (kind == Kind::opensRepliesLate)
    {
        // Its requests go out first, through a request end of its own; the client's reading
        // end comes 20 ms later, with the request end it keeps until it has read.
        auto early = openFifo (pipe_contract::requestFifoPath (pipe_contract::kPipeName), O_WRONLY);

        if (!early.isValid() || !sendAll (early.get(), requests))
            return judge (tally, client, {}, kRequestsEach);

        std::this_thread::sleep_for (20ms);
        PipeClient late;
        const bool opened = late.open (pipe_contract::kPipeName, kReplyTimeoutMs);
        early.reset();
        return judge (tally, client, opened ? receiveAll (late, kRequestsEach) : std::vector<std::string>{}, kRequestsEach);
    }

    PipeClient pipe;

    if (!pipe.open (pipe_contract::kPipeName, kReplyTimeoutMs) || !pipe.sendRaw (requests, kReplyTimeoutMs))
        return judge (tally, client, {}, kind == Kind::leavesEarly ? 0 : kRequestsEach);

    if (kind == Kind::leavesEarly)
        return;

    if (kind == Kind::closesRequestsThenReads)
        pipe.closeRequests();

    judge (tally, client, receiveAll (pipe, kRequestsEach), kRequestsEach);
}

Tally runClients (reaper_host::HostModel& host, std::chrono::microseconds period, int clients, std::chrono::milliseconds gap)
{
    Tally tally;
    reaper_host::MainLoop loop (host.timers(), period);
    loop.runWhile ([&]
                   {
                       for (int client = 0; client < clients; ++client)
                       {
                           runClient (tally, client);
                           std::this_thread::sleep_for (gap);
                       } });
    return tally;
}
} // namespace

int main (int argc, char** argv)
{
    int clients = 150;
    std::chrono::microseconds period = 33ms;
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            clients = 20;
        else if (arg == "--clients" && i + 1 < argc)
            clients = std::stoi (argv[++i]);
        else if (arg == "--period-ms" && i + 1 < argc)
            period = std::chrono::milliseconds (std::stoi (argv[++i]));
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--clients N] [--period-ms MS] [--module PATH]\n", argv[0]);
            return 2;
        }
    }

    ::prctl (PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    testing_support::TemporaryHome home;
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.echoMessageBoxes = false;

    std::printf ("Reconnect figures; module %s\n\n", modulePath.c_str());
    FigureTable table;

    for (const auto gap : {2ms, 0ms})
    {
        reaper_host::ExtensionLibrary module (host);
        const auto loaded = module.load (modulePath);

        if (!loaded.ok())
        {
            std::fprintf (stderr, "%s\n", loaded.message.c_str());
            return 1;
        }

        const auto tally = runClients (host, period, clients, gap);
        module.unload();

        const auto label = std::to_string (clients) + " clients back to back, " + std::to_string (gap.count()) + " ms between them, "
                           + std::to_string (period.count() / 1000) + " ms timer: ";
        const bool judged = gap.count() > 0;
        table.addValue (label + "replies naming another client's file", std::to_string (tally.crossed), judged ? "0" : "",
                        judged ? FigureTable::verdictOf (tally.crossed == 0) : FigureTable::Verdict::none);
        table.addValue ("reply streams out of step", std::to_string (tally.outOfStep), judged ? "0" : "",
                        judged ? FigureTable::verdictOf (tally.outOfStep == 0) : FigureTable::Verdict::none);
        table.addValue ("replies missing", std::to_string (tally.missing) + " of " + std::to_string (tally.expected), judged ? "0" : "",
                        judged ? FigureTable::verdictOf (tally.missing == 0) : FigureTable::Verdict::none);
    }

    table.print();
    return 0;
}
