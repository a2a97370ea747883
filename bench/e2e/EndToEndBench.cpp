// End-to-end figures: the real module loaded into the stand-in host, the host's timers
// called at a fixed period on the main thread, and a client on the pipe on another thread.
//
//   bv-bench-e2e [--smoke] [--module PATH] [--only roundtrip|fifo|pipelined|spot|large] [--spots N]

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/prctl.h>
#include <unistd.h>

#include "AudioFileWriter.h"
#include "ClientJobs.h"
#include "ExtensionLibrary.h"
#include "FifoPingPong.h"
#include "FigureTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "PacketBuilder.h"
#include "PacketFramer.h"
#include "PipeContract.h"
#include "PumpFloorServer.h"
#include "RequestPayloads.h"
#include "TemporaryHome.h"
#include "TimerRounds.h"

namespace
{
using namespace std::chrono_literals;
using Verdict = FigureTable::Verdict;
using request_payloads::isVersionReply;

struct Settings
{
    bool smoke = false;
    std::string modulePath = BV_MODULE_PATH;
    int roundTrips = 2000;
    int pipelined = 10000;
    int spots = 10000;
    int largePayloads = 200;
    std::string only;
    int spotsOverride = 0;

    bool wants (const std::string& section) const
    {
        return only.empty() || only == section;
    }
};

std::string floorPipeName()
{
    return "bv_bench_floor_" + std::to_string (::getpid());
}

std::string periodName (std::chrono::microseconds period)
{
    return period >= 1ms ? std::to_string (period.count() / 1000) + " ms" : std::to_string (period.count()) + " us";
}

// Round trips of version requests through the module and through the floor server, at the
// same period, in alternating blocks so that both see the same machine.
void roundTripFigures (FigureTable& table, reaper_host::HostModel& host, std::chrono::microseconds period, int count)
{
    PumpFloorServer floor (host.timers(), floorPipeName(), request_payloads::versionReply());
    reaper_host::MainLoop loop (host.timers(), period);
    const TimerRounds rounds (loop);
    std::vector<double> module, floorSamples;
    bool ok = floor.isReady();

    loop.runWhile ([&]
                   {
                       PipeClient toModule, toFloor;

                       if (! ok || ! toModule.open (pipe_contract::kPipeName, 2000) || ! toFloor.open (floorPipeName(), 2000))
                       {
                           ok = false;
                           return;
                       }

                       const auto request = request_payloads::version();
                       constexpr int kBlock = 50;

                       // Warm-up, not counted.
                       client_jobs::roundTrips (toModule, request, kBlock, isVersionReply);
                       client_jobs::roundTrips (toFloor, request, kBlock, isVersionReply);

                       while (ok && static_cast<int> (module.size()) < count)
                       {
                           auto a = client_jobs::roundTrips (toModule, request, kBlock, isVersionReply);
                           auto b = client_jobs::roundTrips (toFloor, request, kBlock, isVersionReply);
                           ok = a.size() == kBlock && b.size() == kBlock;
                           module.insert (module.end(), a.begin(), a.end());
                           floorSamples.insert (floorSamples.end(), b.begin(), b.end());
                       } });

    const auto name = periodName (period);

    if (!ok)
    {
        table.addBroken ("round trip, timer " + name, "a request went unanswered");
        return;
    }

    const SampleStats moduleStats (module), floorStats (floorSamples);
    const auto ratio = moduleStats.median() / floorStats.median();
    table.addTiming ("round trip, timer " + name + ", module", moduleStats, "us");
    table.addTiming ("round trip, timer " + name + ", pump floor", floorStats, "us");
    table.addValue ("  ratio module / pump floor (medians)", FigureTable::format (ratio, 3), "<= 1.1",
                    FigureTable::verdictOf (ratio <= 1.1));
    const SampleStats ticks (rounds.microseconds());
    table.addNote ("main-thread round of timers: median " + FigureTable::format (ticks.median(), 1) + " us, p99 "
                   + FigureTable::format (ticks.p99(), 1) + " us, max " + FigureTable::format (ticks.max(), 1) + " us over "
                   + std::to_string (ticks.count()) + " rounds");
}

void fifoFloorFigure (FigureTable& table, int count)
{
    const auto request = request_payloads::version();
    const auto reply = request_payloads::versionReply();
    const auto samples = FifoPingPong::measure ("bv_bench_fifo_" + std::to_string (::getpid()),
                                                buildPacket (pipe_contract::kPacketMagic, request.data(), request.size()),
                                                buildPacket (pipe_contract::kPacketMagic, reply.data(), reply.size()), count);
    table.addTiming ("FIFO floor (two threads, no pump)", SampleStats (samples), "us");

    if (static_cast<int> (samples.size()) < count)
        table.addBroken ("FIFO floor", "the ping-pong stopped early");
}

void pipelinedFigure (FigureTable& table, reaper_host::HostModel& host, int count)
{
    reaper_host::MainLoop loop (host.timers(), 1ms);
    const TimerRounds rounds (loop);
    client_jobs::PipelinedResult result;
    bool opened = false;

    loop.runWhile ([&]
                   {
                       PipeClient client;
                       opened = client.open (pipe_contract::kPipeName, 2000);

                       if (opened)
                           result = client_jobs::pipelined (client, request_payloads::version(), count, isVersionReply); });

    const auto rate = result.seconds > 0 ? result.answered / result.seconds : 0.0;
    const bool allAnswered = result.answered == count;
    table.addValue ("pipelined version requests, timer 1 ms",
                    FigureTable::format (rate, 0) + " requests/s (" + std::to_string (result.answered) + " of "
                        + std::to_string (count) + " answered in " + FigureTable::format (result.seconds, 3) + " s)",
                    ">= 50000/s, all answered", FigureTable::verdictOf (opened && allAnswered && rate >= 50000));

    table.addTiming ("  wait per request, write to reply", SampleStats (result.waitMicroseconds), "us");
    table.addTiming ("  main-thread round of timers", SampleStats (rounds.microseconds()), "us");

    if (!opened || !allAnswered)
        table.addBroken ("pipelined version requests", "not every request was answered");
}

void spotFigure (FigureTable& table, reaper_host::HostModel& host, const std::string& audioPath, int count)
{
    host.reset();
    host.addTrack ("Dialogue");
    host.addTrack ("Effects");
    host.selectTracks ({1});
    host.setCursor (10);
    HostCallTimer::setMeasuringCpu (true);
    HostCallTimer::reset();

    reaper_host::MainLoop loop (host.timers(), 1ms);
    const TimerRounds rounds (loop);
    client_jobs::PipelinedResult result;

    loop.runWhile ([&]
                   {
                       PipeClient client;

                       if (client.open (pipe_contract::kPipeName, 2000))
                           result = client_jobs::pipelined (client, request_payloads::spot (audioPath, "Door slam", 0.5f, 0.8f), count,
                                                            request_payloads::isSuccessfulCommandResult); });

    const auto busy = rounds.busySeconds();
    const auto inHost = static_cast<double> (HostCallTimer::nanoseconds()) * 1e-9;
    const auto rate = result.seconds > 0 ? result.answered / result.seconds : 0.0;
    const bool allPlaced = result.answered == count && host.itemCount() == count;

    table.addValue ("pipelined spots of one WAV file, timer 1 ms",
                    FigureTable::format (rate, 0) + " spots/s (" + std::to_string (result.answered) + " of " + std::to_string (count)
                        + " placed in " + FigureTable::format (result.seconds, 3) + " s)",
                    "printed; all placed", FigureTable::verdictOf (allPlaced));

    if (result.answered > 0)
    {
        const auto cpu = rounds.busyCpuSeconds();
        const auto hostCpu = static_cast<double> (HostCallTimer::cpuNanoseconds()) * 1e-9;
        const auto perSpot = [&] (double seconds)
        { return FigureTable::format (seconds / result.answered * 1e6, 1) + " us"; };
        const auto share = [] (double part, double whole)
        { return FigureTable::format (whole > 0 ? 100.0 * part / whole : 0.0, 1) + " %"; };

        table.addValue ("  main-thread CPU per spot", perSpot (cpu) + ": host functions " + perSpot (hostCpu) + " (" + share (hostCpu, cpu)
                                                          + "), extension " + perSpot (cpu - hostCpu) + " (" + share (cpu - hostCpu, cpu) + ")");
        table.addValue ("  main-thread wall time per spot", perSpot (busy) + ": host functions " + perSpot (inHost) + " (" + share (inHost, busy)
                                                                + "), extension " + perSpot (busy - inHost) + " (" + share (busy - inHost, busy) + ")");
        table.addNote ("wall time includes moments the core went elsewhere, e.g. to the client woken by each reply");
    }

    table.addTiming ("  main-thread round of timers", SampleStats (rounds.microseconds()), "us");
    host.reset();
    HostCallTimer::setMeasuringCpu (false);

    if (!allPlaced)
        table.addBroken ("pipelined spots", "not every spot was answered and placed");
}

void largePayloadFigure (FigureTable& table, reaper_host::HostModel& host, int count)
{
    constexpr auto period = 1ms;
    reaper_host::MainLoop loop (host.timers(), period);
    std::vector<double> large, small;

    loop.runWhile ([&]
                   {
                       PipeClient client;

                       if (! client.open (pipe_contract::kPipeName, 2000))
                           return;

                       const auto big = request_payloads::paddedTo (request_payloads::version(), PacketFramer::kMaxRequestSize);
                       const auto plain = request_payloads::version();
                       client_jobs::roundTrips (client, big, 5, isVersionReply);

                       for (int done = 0; done < count; done += 10)
                       {
                           auto a = client_jobs::roundTrips (client, big, 10, isVersionReply);
                           auto b = client_jobs::roundTrips (client, plain, 10, isVersionReply);
                           large.insert (large.end(), a.begin(), a.end());
                           small.insert (small.end(), b.begin(), b.end());

                           if (a.size() < 10 || b.size() < 10)
                               return;
                       } });

    const SampleStats largeStats (large), smallStats (small);
    const double periodMicros = std::chrono::duration<double, std::micro> (period).count();
    const bool answered = static_cast<int> (large.size()) >= count;

    const auto largest = std::to_string (PacketFramer::kMaxRequestSize) + "-byte request (the largest)";

    if (!answered)
        table.addBroken (largest, "a request went unanswered");

    table.addTiming (largest + ", round trip, timer 1 ms", largeStats, "us", "<= 1 ms + 2 ms",
                     FigureTable::verdictOf (answered && largeStats.median() <= periodMicros + 2000));
    table.addNote ("small version request in the same run: median " + FigureTable::format (smallStats.median(), 1)
                   + " us; the large one adds " + FigureTable::format (largeStats.median() - smallStats.median(), 1) + " us");
}
} // namespace

int main (int argc, char** argv)
{
    Settings settings;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            settings.smoke = true;
        else if (arg == "--module" && i + 1 < argc)
            settings.modulePath = argv[++i];
        else if (arg == "--only" && i + 1 < argc)
            settings.only = argv[++i];
        else if (arg == "--spots" && i + 1 < argc)
            settings.spotsOverride = std::atoi (argv[++i]);
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--module PATH] [--only roundtrip|fifo|pipelined|spot|large] [--spots N]\n", argv[0]);
            return 2;
        }
    }

    if (settings.smoke)
    {
        settings.roundTrips = 200;
        settings.pipelined = 500;
        settings.spots = 200;
        settings.largePayloads = 20;
    }

    if (settings.spotsOverride > 0)
        settings.spots = settings.spotsOverride;

    // Sleeps end when asked, not up to 50 µs later, so the pump keeps its period.
    ::prctl (PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    testing_support::TemporaryHome home;
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.echoMessageBoxes = false;

    const auto audioPath = home.path() + "/door slam.wav";
    reaper_host::writeAudioFile (audioPath, reaper_host::AudioFileFormat::wav16, 48000, 2, 48000 * 3);

    reaper_host::ExtensionLibrary module (host);
    auto record = HostCallTimer::wrappedRecord (*host.pluginInfo());
    const auto loaded = module.load (settings.modulePath, record);

    if (!loaded.ok())
    {
        std::fprintf (stderr, "%s\n", loaded.message.c_str());
        return 1;
    }

    std::printf ("End-to-end figures%s; %u hardware threads; module %s\n\n", settings.smoke ? " (smoke run)" : "",
                 std::thread::hardware_concurrency(), settings.modulePath.c_str());

    FigureTable table;

    if (settings.wants ("roundtrip"))
    {
        roundTripFigures (table, host, 1ms, settings.roundTrips);
        roundTripFigures (table, host, 100us, settings.roundTrips);
    }

    if (settings.wants ("fifo"))
        fifoFloorFigure (table, settings.roundTrips);

    if (settings.wants ("pipelined"))
        pipelinedFigure (table, host, settings.pipelined);

    if (settings.wants ("spot"))
        spotFigure (table, host, audioPath, settings.spots);

    if (settings.wants ("large"))
        largePayloadFigure (table, host, settings.largePayloads);

    module.unload();
    table.print();
    return table.isBroken() ? 3 : 0;
}
