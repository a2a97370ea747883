// A client floods the extension with info requests (which get no reply; --payload-bytes pads
// them to try the inbox's byte bound rather than its packet bound), then sends one
// version request: how much memory the extension takes on meanwhile, how long the client's
// writes wait, when the version request is answered, and how much the log grows. Run at
// the host timer periods of 1 ms and of REAPER's 33 ms.
//
//   bv-bench-flood [--smoke] [--packets N] [--payload-bytes N] [--period-ms MS] [--module PATH]
//
// Each period runs in a fresh module; --period-ms runs only one, so that its memory figure
// is measured in a process that has not flooded before (freed memory stays resident).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <sys/prctl.h>

#include "ExtensionLibrary.h"
#include "FigureTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "PipeClient.h"
#include "ProcessMemory.h"
#include "RequestPayloads.h"
#include "TemporaryHome.h"
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

                       if (! client.open ("bv_reaper", 2000))
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
} // namespace

int main (int argc, char** argv)
{
    bool smoke = false;
    long long packets = 1000000;
    std::size_t payloadBytes = 2;
    std::vector<std::chrono::microseconds> periods{1ms, 33ms};
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            smoke = true;
        else if (arg == "--packets" && i + 1 < argc)
            packets = std::stoll (argv[++i]);
        else if (arg == "--payload-bytes" && i + 1 < argc)
            payloadBytes = static_cast<std::size_t> (std::stoll (argv[++i]));
        else if (arg == "--period-ms" && i + 1 < argc)
            periods = {std::chrono::milliseconds (std::stoi (argv[++i]))};
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--packets N] [--payload-bytes N] [--period-ms MS] [--module PATH]\n", argv[0]);
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

    for (const auto period : periods)
    {
        reaper_host::ExtensionLibrary module (host);
        auto record = HostCallTimer::wrappedRecord (*host.pluginInfo());
        const auto loaded = module.load (modulePath, record);

        if (!loaded.ok())
        {
            std::fprintf (stderr, "%s\n", loaded.message.c_str());
            return 1;
        }

        floodFigures (table, host, log, period, packets, payloadBytes);
        module.unload();
    }

    table.print();
    return table.isBroken() ? 3 : 0;
}
