// What merely having the module loaded costs REAPER: resident memory, CPU while idle, and
// the duration of the load and unload calls. A process of its own, so that nothing else
// has been loaded or allocated before the first measurement.
//
//   bv-bench-footprint [--smoke] [--module PATH]

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include <sys/prctl.h>

#include "FigureTable.h"
#include "HostModel.h"
#include "HostPump.h"
#include "LoadedModule.h"
#include "ProcessMemory.h"
#include "TemporaryHome.h"

namespace
{
using namespace std::chrono_literals;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime (CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double> (now.tv_sec) + static_cast<double> (now.tv_nsec) * 1e-9;
}

struct IdleShares
{
    double loaded = 0;    // process CPU / wall with the extension's timer in the host's loop
    double hostAlone = 0; // the same with its timer taken out of the loop for the moment
};

// CPU time of the whole process over wall time while the host's 33 ms timer runs, in
// alternating one-second windows with and without the extension's timer callbacks, so that
// both see the same machine.
IdleShares idleCpuShares (reaper_host::HostModel& host, std::chrono::milliseconds duration)
{
    const auto extensionTimers = host.timers().all();
    double cpu[2] = {0, 0}, wall[2] = {0, 0};
    const int windows = std::max (1, static_cast<int> (duration / 1000ms));

    for (int window = 0; window < 2 * windows; ++window)
    {
        const int loaded = window % 2 == 0 ? 1 : 0;
        host.timers().clear();

        if (loaded == 1)
            for (auto timer : extensionTimers)
                host.timers().add (timer);

        HostPump pump (host.timers(), 33ms);
        const auto cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        pump.runFor (1000ms);
        wall[loaded] += std::chrono::duration<double> (std::chrono::steady_clock::now() - wallBefore).count();
        cpu[loaded] += processCpuSeconds() - cpuBefore;
    }

    host.timers().clear();

    for (auto timer : extensionTimers)
        host.timers().add (timer);

    return {cpu[1] / wall[1], cpu[0] / wall[0]};
}
} // namespace

int main (int argc, char** argv)
{
    bool smoke = false;
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            smoke = true;
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--module PATH]\n", argv[0]);
            return 2;
        }
    }

    ::prctl (PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    testing_support::TemporaryHome home;
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.echoMessageBoxes = false;

    const auto idleDuration = smoke ? 1000ms : 10000ms;
    const int cycles = smoke ? 10 : 50;
    FigureTable table;

    const auto rssBefore = process_memory::residentKiB();
    LoadedModule module (host);
    std::string error;

    if (!module.load (modulePath, error))
    {
        std::fprintf (stderr, "%s\n", error.c_str());
        return 1;
    }

    const auto rssAfterLoad = process_memory::residentKiB();
    const auto firstLoadMicros = module.loadCallMicroseconds();

    const auto idle = idleCpuShares (host, idleDuration);
    const auto rssAfterIdle = process_memory::residentKiB();
    module.unload();
    const auto firstUnloadMicros = module.unloadCallMicroseconds();

    std::vector<double> loads, unloads;

    for (int i = 0; i < cycles; ++i)
    {
        if (!module.load (modulePath, error))
        {
            std::fprintf (stderr, "%s\n", error.c_str());
            return 1;
        }

        loads.push_back (module.loadCallMicroseconds());
        HostPump (host.timers(), 1ms).runFor (2ms);
        module.unload();
        unloads.push_back (module.unloadCallMicroseconds());
    }

    const auto rssAfterCycles = process_memory::residentKiB();

    std::printf ("Footprint figures%s; module %s\n\n", smoke ? " (smoke run)" : "", modulePath.c_str());

    const auto addedKiB = rssAfterLoad - rssBefore;
    table.addValue ("resident memory added by loading", std::to_string (addedKiB) + " KiB (" + std::to_string (rssBefore) + " -> " + std::to_string (rssAfterLoad) + " KiB)",
                    "<= 2048 KiB", FigureTable::verdictOf (addedKiB <= 2048));
    table.addNote ("after " + std::to_string (idleDuration.count() / 1000) + " s idle: " + std::to_string (rssAfterIdle - rssBefore)
                   + " KiB above the start; after " + std::to_string (cycles) + " more load/unload cycles: "
                   + std::to_string (rssAfterCycles - rssBefore) + " KiB");

    const auto added = idle.loaded - idle.hostAlone;
    const auto seconds = std::to_string (idleDuration.count() / 1000);
    table.addValue ("idle CPU added by the extension, 33 ms timer",
                    FigureTable::format (100.0 * added, 4) + " % of one core (" + seconds + " s with its timer, " + seconds
                        + " s without, alternating)",
                    "<= 0.1 %", FigureTable::verdictOf (added <= 0.001));
    table.addNote ("whole process with the extension's timer: " + FigureTable::format (100.0 * idle.loaded, 4)
                   + " %; the stand-in host's loop alone: " + FigureTable::format (100.0 * idle.hostAlone, 4) + " %");

    const SampleStats loadStats (loads), unloadStats (unloads);
    table.addTiming ("load call (ReaperPluginEntry)", loadStats, "us", "<= 2000 us",
                     FigureTable::verdictOf (loadStats.median() <= 2000));
    table.addTiming ("unload call (ReaperPluginEntry)", unloadStats, "us", "<= 5000 us",
                     FigureTable::verdictOf (unloadStats.median() <= 5000));
    table.addNote ("first load of the process: " + FigureTable::format (firstLoadMicros, 1) + " us, its unload: "
                   + FigureTable::format (firstUnloadMicros, 1) + " us");

    table.print();
    return table.isBroken() ? 3 : 0;
}
