// Clients that push the extension: a flood of info requests (which get no reply;
// --payload-bytes pads them to try the inbox's byte bound rather than its packet bound), then
// one version request: how much memory the extension takes on meanwhile, how long the
// client's writes wait, when the version request is answered, and how much the log grows.
// Run at the host timer periods of 1 ms and of REAPER's 33 ms.
//
// A slow reader: a client that lets its replies fill the reply FIFO, then reads 4 KiB every
// 0.95 s: how long the longest timer round holds REAPER's main thread and how much of the
// run it spends inside the extension, and whether the replies it reads are whole and in
// order. An oversize request: one spot of 30 MB (path and take name), then a version
// request: the longest round, the resident memory it leaves behind, and whether the request
// after it is answered. Large replies: a client that holds the reply FIFO open and reads
// nothing sends small selected-item requests while the selected item's source name is long,
// so each request of a few bytes makes a reply of about 1 MiB: the most memory the extension
// takes on meanwhile, against the inbox's bound (requests and unwritten replies together)
// plus one reply. Failed spots: the same with spots of a missing file whose 64 KiB path is
// not UTF-8, each answered with a failure text of about 192 KiB that is also kept until the
// reply has gone, for the log.
//
//   bv-bench-flood [--smoke] [--only flood|slow-reader|oversize|large-replies|failed-spots] [--packets N]
//                  [--payload-bytes N] [--period-ms MS] [--module PATH]
//
// Each run is in a fresh module; --period-ms runs only one period, so that its memory figure
// is measured in a process that has not flooded before (freed memory stays resident).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "ExtensionLibrary.h"
#include "FigureTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "MediaSource.h"
#include "PacketFramer.h"
#include "PipeClient.h"
#include "PipeContract.h"
#include "ProcessMemory.h"
#include "ProtocolParsing.h"
#include "RequestPayloads.h"
#include "SampleStats.h"
#include "TemporaryHome.h"
#include "TimerRounds.h"
#include "logging/ThousandsSeparators.h"

namespace
{
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWaitMs = 900000;
constexpr long kInboxBoundKiB = 16 * 1024;

// An info request, padded with an unused field when payloadBytes is larger than its 2 bytes.
std::string infoRequestPacket (std::size_t payloadBytes)
{
    const auto payload = request_payloads::paddedTo (request_payloads::info(), payloadBytes);
    return buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
}

long long sizeOf (const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size (path, error);
    return error ? 0 : static_cast<long long> (size);
}

double secondsBetween (Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double> (to - from).count();
}

void floodFigures (FigureTable& table, reaper_host::HostModel& host, const std::string& log,
                   std::chrono::microseconds period, long long packets, std::size_t payloadBytes)
{
    const auto periodText = std::to_string (period.count() / 1000) + " ms timer";
    const auto packet = infoRequestPacket (payloadBytes);

    // Packets are written from one buffer of about 64 KiB (or one packet, when larger), so the
    // client adds little memory of its own.
    std::string chunk = packet;

    while (chunk.size() + packet.size() <= 65536)
        chunk += packet;

    const auto packetsPerChunk = static_cast<long long> (chunk.size() / packet.size());

    const auto logBefore = sizeOf (log);
    process_memory::resetPeak();
    const auto residentBefore = process_memory::residentKiB();

    bool written = false, answered = false;
    Clock::time_point floodStart, floodWritten, versionSent, versionAnswered;

    reaper_host::MainLoop loop (host.timers(), period);
    loop.runWhile ([&]
                   {
                       PipeClient client;

                       if (! client.open (pipe_contract::kPipeName, 2000))
                           return;

                       floodStart = Clock::now();
                       written = true;

                       for (long long sent = 0; sent < packets && written; sent += packetsPerChunk)
                       {
                           const auto now = std::min (packetsPerChunk, packets - sent);
                           written = client.sendRaw (chunk.substr (0, static_cast<std::size_t> (now) * packet.size()), kWaitMs);
                       }

                       floodWritten = Clock::now();

                       if (! written || ! client.send (request_payloads::version(), kWaitMs))
                           return;

                       versionSent = Clock::now();
                       const auto reply = client.receive (kWaitMs);
                       versionAnswered = Clock::now();
                       answered = reply && request_payloads::isVersionReply (*reply); });

    const auto peakAdded = process_memory::peakResidentKiB() - residentBefore;
    const auto residentAfter = process_memory::residentKiB() - residentBefore;

    if (!written || !answered)
    {
        table.addBroken ("flood of " + withThousandsSeparators (packets) + " info requests, " + periodText,
                         written ? "the version request after it was not answered" : "the flood could not be written");
        return;
    }

    table.addValue ("flood of " + withThousandsSeparators (packets) + " info requests (" + withThousandsSeparators (static_cast<long long> (packet.size()))
                        + " bytes each), " + periodText,
                    "written in " + FigureTable::format (secondsBetween (floodStart, floodWritten), 2) + " s (the client's writes wait while the extension is behind)");
    table.addValue ("peak resident memory added during the flood",
                    std::to_string (peakAdded) + " KiB (" + std::to_string (residentAfter) + " KiB after; the client's buffer "
                        + std::to_string (chunk.size() / 1024) + " KiB of it)",
                    "<= 16 MiB bound + 4 MiB", FigureTable::verdictOf (peakAdded <= kInboxBoundKiB + 4096));
    table.addValue ("version request sent after the flood, answered after",
                    FigureTable::format (secondsBetween (versionSent, versionAnswered) * 1000.0, 1) + " ms ("
                        + FigureTable::format (secondsBetween (floodStart, versionAnswered), 2) + " s after the flood began)",
                    "answered", FigureTable::verdictOf (true));
    table.addNote ("log grew by " + withThousandsSeparators (sizeOf (log) - logBefore) + " bytes; "
                   + FigureTable::format (static_cast<double> (packets) / secondsBetween (floodStart, versionAnswered), 0)
                   + " requests/s handled");
}

// The path of the missing file of the slow reader's request i, padded so that the reply (its
// failure text) is about 4 KiB.
std::string slowReaderPath (int i)
{
    const auto prefix = "/missing/" + std::to_string (i) + "/";
    return prefix + std::string (4000 - prefix.size(), 'p');
}

std::string spotPacket (const std::string& path)
{
    BVReaper::ClientMessage message;
    message.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    message.mutable_spot()->set_file_path (path);
    const auto payload = message.SerializeAsString();
    return buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
}

bool isFailureFor (const std::string& payload, const std::string& path)
{
    BVReaper::ServerMessage message;
    return message.ParseFromString (payload) && message.type() == BVReaper::ServerMessage::COMMAND_RESULT
           && message.error().description() == "Unable to find source file:" + path;
}

// A client sends spots of missing files, each answered with a failure text of about 4 KiB,
// lets the replies fill the reply FIFO, then reads 4 KiB every 0.95 s for a while and leaves.
void slowReaderFigures (FigureTable& table, reaper_host::HostModel& host, std::chrono::microseconds period,
                        int requests, std::chrono::seconds slowReading)
{
    const auto periodText = std::to_string (period.count() / 1000) + " ms timer";
    constexpr auto kReadEvery = 950ms;
    constexpr std::size_t kReadSize = 4096;

    bool opened = false, filled = false;
    int wholeInOrder = 0, received = 0;
    Clock::time_point start, left;

    reaper_host::MainLoop pump (host.timers(), period);
    TimerRounds rounds (pump);
    start = Clock::now();
    pump.runWhile ([&]
                   {
                       PipeClient client;

                       if (! client.open (pipe_contract::kPipeName, 2000))
                           return;

                       // A reader of its own, so that it takes exactly 4 KiB at a time.
                       const int replies = ::open (pipe_contract::replyFifoPath (pipe_contract::kPipeName).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

                       if (replies < 0)
                           return;

                       opened = true;
                       std::string all;

                       for (int i = 0; i < requests; ++i)
                           all += spotPacket (slowReaderPath (i));

                       client.sendRaw (all, kWaitMs);

                       // The extension fills the reply FIFO (64 KiB on Linux, where this runs)
                       // while the client reads nothing.
                       const auto fillDeadline = Clock::now() + 10s;

                       while (! filled && Clock::now() < fillDeadline)
                       {
                           int waiting = 0;
                           filled = ::ioctl (replies, FIONREAD, &waiting) == 0 && waiting >= 60 * 1024;
                           std::this_thread::sleep_for (10ms);
                       }

                       PacketFramer framer (pipe_contract::kPacketMagic);
                       char buffer[kReadSize];
                       const auto end = Clock::now() + slowReading;

                       while (Clock::now() < end)
                       {
                           const auto got = ::read (replies, buffer, sizeof (buffer));

                           if (got > 0)
                               framer.feed (buffer, static_cast<std::size_t> (got));

                           PacketFramer::Event event;

                           while (framer.nextEvent (event))
                           {
                               const std::string payload (event.payload.begin(), event.payload.end());

                               if (event.kind == PacketFramer::Event::Kind::payload && isFailureFor (payload, slowReaderPath (received)))
                                   ++wholeInOrder;

                               ++received;
                           }

                           std::this_thread::sleep_for (kReadEvery);
                       }

                       ::close (replies);
                       left = Clock::now(); });

    // What the replies the client left behind cost the main thread.
    pump.runFor (3s);
    const auto runSeconds = secondsBetween (start, Clock::now());

    if (!opened || !filled)
    {
        table.addBroken ("slow reader, " + periodText, opened ? "the reply FIFO never filled" : "the pipe could not be opened");
        return;
    }

    const auto longest = SampleStats (rounds.microseconds()).max() / 1000.0;
    table.addValue ("slow reader (" + std::to_string (requests) + " replies of 4 KiB; FIFO filled, then 4 KiB read every 0.95 s for "
                        + std::to_string (slowReading.count()) + " s), " + periodText + ": longest timer round",
                    FigureTable::format (longest, 2) + " ms", "<= 10 ms", FigureTable::verdictOf (longest <= 10.0));
    table.addValue ("main-thread time inside the extension",
                    FigureTable::format (rounds.busySeconds(), 3) + " s of " + FigureTable::format (runSeconds, 1) + " s ("
                        + std::to_string (rounds.microseconds().size()) + " rounds, including 3 s after the client left)");
    table.addValue ("replies the slow reader read",
                    std::to_string (received) + ", of them whole and in order: " + std::to_string (wholeInOrder),
                    "all", FigureTable::verdictOf (received > 0 && wholeInOrder == received));
}

void appendVarint (std::string& bytes, std::uint64_t value)
{
    while (value >= 0x80)
    {
        bytes.push_back (static_cast<char> ((value & 0x7f) | 0x80));
        value >>= 7;
    }

    bytes.push_back (static_cast<char> (value));
}

// Writes a packet of one spot request whose path and take name are each `half` bytes long,
// encoded on the fly and written in pieces of 64 KiB, so that the client holds no copy of it.
bool sendHugeSpot (PipeClient& client, std::size_t half, std::size_t& payloadSize)
{
    std::string pathField ("\x0a", 1), nameField ("\x12", 1);
    appendVarint (pathField, half);
    appendVarint (nameField, half);

    const auto spotSize = pathField.size() + half + nameField.size() + half;
    std::string start ("\x08\x01\xaa\x06", 4); // type SPOT_COMMAND; field 101, the spot
    appendVarint (start, spotSize);
    payloadSize = start.size() + spotSize;

    const std::uint32_t length = static_cast<std::uint32_t> (payloadSize);
    std::string piece = buildPacket (pipe_contract::kPacketMagic, "", 0).substr (0, 4);

    for (int shift = 0; shift < 32; shift += 8)
        piece.push_back (static_cast<char> ((length >> shift) & 0xff));

    piece += start + pathField;

    auto sendFilled = [&] (char fill, std::size_t count)
    {
        while (count > 0)
        {
            const auto take = std::min (count, std::size_t (65536) - piece.size());
            piece.append (take, fill);
            count -= take;

            if (piece.size() == 65536 && !client.sendRaw (piece, kWaitMs))
                return false;

            if (piece.size() == 65536)
                piece.clear();
        }

        return true;
    };

    if (!sendFilled ('p', half))
        return false;

    piece += nameField;
    return sendFilled ('n', half) && (piece.empty() || client.sendRaw (piece, kWaitMs));
}

// Selects an item whose source's name is nameBytes bytes that are not UTF-8: each is a
// six-byte escape in the selected-item report's JSON.
void selectItemNamed (reaper_host::HostModel& host, std::size_t nameBytes)
{
    auto& item = host.addItem (host.addTrack(), 1.0, 2.0);
    const auto name = "/" + std::string (nameBytes, '\xFF') + ".wav";
    host.setTakeSource (host.addTake (item, "Take"), reaper_host::MediaSource::synthetic (name.c_str(), 48000, 2, 96000));
    host.selectItem (item);
}

// Small requests (the packet) with large replies to a client that never reads them; what
// says which. The client sends up to `requests` of them, one every `pace`, until the
// extension stops reading (its bound reached). Returns the peak resident memory added, in KiB (-1 when
// broken). With oneReplyKiB (what one such request costs alone), judges the figure against
// the bound.
long largeReplyFigures (FigureTable& table, reaper_host::HostModel& host, std::chrono::microseconds period, int requests,
                        const std::string& packet, std::chrono::milliseconds pace, const std::string& what, long oneReplyKiB)
{
    const auto periodText = std::to_string (period.count() / 1000) + " ms timer";
    process_memory::resetPeak();
    const auto residentBefore = process_memory::residentKiB();
    bool sent = false;

    reaper_host::MainLoop pump (host.timers(), period);

    // The stand-in host's call journal keeps every argument of every call (a spot's path,
    // several times): emptied after each round, so that the figure is the extension's.
    pump.setRoundObserver ([&host] (const reaper_host::MainLoop::Round&)
                           { host.journal().clear(); });
    pump.runWhile ([&]
                   {
                       PipeClient client;

                       if (! client.open (pipe_contract::kPipeName, 2000))
                           return;

                       // One packet at a time, so that the client holds no more than one.
                       // Holds the reply FIFO open (PipeClient opens it at once) and reads
                       // nothing, for longer than a reply's deadline.
                       for (int i = 0; i < requests && client.sendRaw (packet, 2000); ++i)
                       {
                           sent = true;
                           std::this_thread::sleep_for (pace);
                       }

                       std::this_thread::sleep_for (3s); });

    pump.runFor (1s);
    const auto peakAdded = process_memory::peakResidentKiB() - residentBefore;

    if (!sent)
    {
        table.addBroken ("large replies, " + periodText, "the requests could not be written");
        return -1;
    }

    const auto figure = std::to_string (requests) + " × " + what + ", to a client that reads none, " + periodText
                        + ": peak resident memory added";

    const auto value = std::to_string (peakAdded) + " KiB";

    if (oneReplyKiB < 0)
    {
        table.addValue (figure, value, "(one reply, made and held)");
        return peakAdded;
    }

    // The replies held stay under the bound plus one; making the next costs what one costs alone.
    const auto boundKiB = kInboxBoundKiB + oneReplyKiB + 4096;
    table.addValue (figure, value,
                    "<= 16 MiB bound + one reply made and held + 4 MiB (" + std::to_string (boundKiB) + " KiB)",
                    FigureTable::verdictOf (peakAdded <= boundKiB));
    return peakAdded;
}

// One spot of about 30 MB, then a version request.
void oversizeFigures (FigureTable& table, reaper_host::HostModel& host, std::chrono::microseconds period, std::size_t totalBytes)
{
    const auto periodText = std::to_string (period.count() / 1000) + " ms timer";
    process_memory::resetPeak();
    const auto residentBefore = process_memory::residentKiB();

    bool sent = false, answered = false;
    std::size_t payloadSize = 0;

    reaper_host::MainLoop pump (host.timers(), period);
    TimerRounds rounds (pump);
    pump.runWhile ([&]
                   {
                       PipeClient client;

                       if (! client.open (pipe_contract::kPipeName, 2000))
                           return;

                       // Replies are read through a framer that skips large ones unread, so that
                       // the reply to a spot that was carried out (its failure text holds the
                       // path) adds nothing to this process's memory.
                       const int replies = ::open (pipe_contract::replyFifoPath (pipe_contract::kPipeName).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

                       sent = replies >= 0 && sendHugeSpot (client, totalBytes / 2, payloadSize)
                              && client.send (request_payloads::version(), kWaitMs);

                       PacketFramer framer (pipe_contract::kPacketMagic, 4096);
                       const auto deadline = Clock::now() + std::chrono::milliseconds (kWaitMs);

                       while (sent && ! answered && Clock::now() < deadline)
                       {
                           pollfd ready{replies, POLLIN, 0};
                           ::poll (&ready, 1, 100);
                           char buffer[65536];
                           const auto got = ::read (replies, buffer, sizeof (buffer));

                           if (got > 0)
                               framer.feed (buffer, static_cast<std::size_t> (got));
                           else
                               std::this_thread::sleep_for (1ms); // no writer: poll reports a hang-up at once

                           PacketFramer::Event event;

                           while (framer.nextEvent (event))
                               answered = answered || (event.kind == PacketFramer::Event::Kind::payload
                                                       && request_payloads::isVersionReply (std::string (event.payload.begin(), event.payload.end())));
                       }

                       if (replies >= 0)
                           ::close (replies); });

    pump.runFor (1s);
    const auto peakAdded = process_memory::peakResidentKiB() - residentBefore;
    const auto residentAdded = process_memory::residentKiB() - residentBefore;

    if (!sent || !answered)
    {
        table.addBroken ("oversize spot, " + periodText, sent ? "the version request after it was not answered" : "the request could not be written");
        return;
    }

    const auto longest = SampleStats (rounds.microseconds()).max() / 1000.0;
    table.addValue ("a spot of " + withThousandsSeparators (static_cast<long long> (payloadSize)) + " bytes (path and take name), then a version request, "
                        + periodText + ": longest timer round",
                    FigureTable::format (longest, 2) + " ms", "<= 10 ms", FigureTable::verdictOf (longest <= 10.0));
    table.addValue ("resident memory it added",
                    std::to_string (residentAdded) + " KiB 1 s later (" + std::to_string (peakAdded) + " KiB at the peak)",
                    "<= 4 MiB", FigureTable::verdictOf (residentAdded <= 4096));
}
} // namespace

int main (int argc, char** argv)
{
    bool smoke = false;
    long long packets = 1000000;
    std::size_t payloadBytes = 2;
    std::vector<std::chrono::microseconds> periods{1ms, 33ms};
    bool periodGiven = false, packetsGiven = false;
    std::string only;
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            smoke = true;
        else if (arg == "--packets" && i + 1 < argc)
        {
            packets = std::stoll (argv[++i]);
            packetsGiven = true;
        }
        else if (arg == "--payload-bytes" && i + 1 < argc)
            payloadBytes = static_cast<std::size_t> (std::stoll (argv[++i]));
        else if (arg == "--period-ms" && i + 1 < argc)
        {
            periods = {std::chrono::milliseconds (std::stoi (argv[++i]))};
            periodGiven = true;
        }
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else if (arg == "--only" && i + 1 < argc && (std::string (argv[i + 1]) == "flood" || std::string (argv[i + 1]) == "slow-reader" || std::string (argv[i + 1]) == "oversize" || std::string (argv[i + 1]) == "large-replies" || std::string (argv[i + 1]) == "failed-spots"))
            only = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--only flood|slow-reader|oversize|large-replies|failed-spots] [--packets N] [--payload-bytes N] [--period-ms MS] [--module PATH]\n", argv[0]);
            return 2;
        }
    }

    if (smoke)
        packets = 20000;

    ::prctl (PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    testing_support::TemporaryHome home;
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.echoMessageBoxes = false;

    const auto log = home.logFilePath();
    std::printf ("Flood figures%s; module %s\n\n", smoke ? " (smoke run)" : "", modulePath.c_str());
    FigureTable table;

    // Each run in a module of its own.
    auto inFreshModule = [&] (const std::function<void()>& run)
    {
        reaper_host::ExtensionLibrary module (host);
        auto record = HostCallTimer::wrappedRecord (*host.pluginInfo());
        const auto loaded = module.load (modulePath, record);

        if (!loaded.ok())
        {
            std::fprintf (stderr, "%s\n", loaded.message.c_str());
            return false;
        }

        run();
        module.unload();
        return true;
    };

    // REAPER's own timer period unless one was given.
    const auto clientPeriod = periodGiven ? periods.front() : std::chrono::microseconds (33ms);

    if (only.empty() || only == "flood")
        for (const auto period : periods)
            if (!inFreshModule ([&]
                                { floodFigures (table, host, log, period, packets, payloadBytes); }))
                return 1;

    if ((only.empty() || only == "slow-reader")
        && !inFreshModule ([&]
                           { slowReaderFigures (table, host, clientPeriod, smoke ? 40 : 120, smoke ? 2s : 10s); }))
        return 1;

    if ((only.empty() || only == "oversize")
        && !inFreshModule ([&]
                           { oversizeFigures (table, host, clientPeriod, smoke ? 4 * 1024 * 1024 : 30 * 1000 * 1000); }))
        return 1;

    const int largeRequests = smoke ? 40 : packetsGiven ? static_cast<int> (packets)
                                                        : 200;

    // One request alone, then many, each in a fresh module.
    auto largeReplies = [&] (const std::function<void()>& prepare, const std::string& packet, std::chrono::milliseconds pace, const std::string& what)
    {
        long oneReply = -1;
        auto run = [&] (int requests)
        {
            host.reset();
            host.echoMessageBoxes = false;
            prepare();
            return largeReplyFigures (table, host, clientPeriod, requests, packet, pace, what, oneReply);
        };

        return inFreshModule ([&]
                              { oneReply = run (1); })
               && inFreshModule ([&]
                                 { run (largeRequests); });
    };

    if (only.empty() || only == "large-replies")
    {
        // The longest source name the selected-item report still gives (64 KiB in all).
        constexpr std::size_t nameBytes = 65536 - 5;
        const auto request = request_payloads::selectedItem();

        if (!largeReplies ([&]
                           { selectItemNamed (host, nameBytes); },
                           buildPacket (pipe_contract::kPacketMagic, request.data(), request.size()), 0ms,
                           "selected-item request answered with about " + std::to_string (nameBytes * 6 / 1024) + " KiB"))
            return 1;
    }

    if (only.empty() || only == "failed-spots")
    {
        // The longest path a request carries, in bytes that are not UTF-8: each is U+FFFD, three
        // bytes, in the failure text.
        const auto path = "/" + std::string (PacketFramer::kMaxRequestSize - 64, '\xFF');

        // One a timer period, so that the replies rather than the requests fill the bound.
        if (!largeReplies ([] {}, spotPacket (path), std::chrono::duration_cast<std::chrono::milliseconds> (clientPeriod),
                           "spot of a missing file with a " + std::to_string (path.size() / 1024)
                               + " KiB path that is not UTF-8, answered with a failure of about " + std::to_string (path.size() * 3 / 1024)
                               + " KiB, its text also kept for the log"))
            return 1;
    }

    table.print();
    return table.isBroken() ? 3 : 0;
}
