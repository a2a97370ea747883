// What merely having the module loaded costs REAPER: resident memory, CPU while idle, and
// the duration of the load and unload calls. A process of its own, so that nothing else
// has been loaded or allocated before the first measurement; the first load call, as
// REAPER makes it at start-up, is also timed in fresh processes of this program.
//
//   bv-bench-footprint [--smoke] [--module PATH]
//   bv-bench-footprint --first-load-only [--module PATH]   (prints that one call's us)

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <limits.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "ExtensionLibrary.h"
#include "FigureTable.h"
#include "HostCallTimer.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "ProcessMemory.h"
#include "Subprocess.h"
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

// CPU time of every thread of this process but the main one, from /proc/self/task/*/schedstat
// (nanoseconds on the CPU): the threads the extension started, which run whether its timer
// is in the host's loop or not.
double otherThreadsCpuSeconds()
{
    std::error_code error;
    double seconds = 0;

    for (const auto& task : std::filesystem::directory_iterator ("/proc/self/task", error))
    {
        if (task.path().filename() == std::to_string (::getpid()))
            continue;

        std::ifstream schedstat (task.path() / "schedstat");
        double nanoseconds = 0;

        if (schedstat >> nanoseconds)
            seconds += nanoseconds * 1e-9;
    }

    return seconds;
}

struct IdleShares
{
    double loaded = 0;    // process CPU / wall with the extension's timer in the host's loop
    double hostAlone = 0; // the same with its timer taken out of the loop for the moment
    double threads = 0;   // the extension's own threads (in both of the above alike)
};

// CPU time of the whole process over wall time while the host's 33 ms timer runs, in
// alternating one-second windows with and without the extension's timer callbacks, so that
// both see the same machine.
IdleShares idleCpuShares (reaper_host::HostModel& host, std::chrono::milliseconds duration)
{
    const auto extensionTimers = host.timers().all();
    double cpu[2] = {0, 0}, wall[2] = {0, 0};
    const int windows = std::max (1, static_cast<int> (duration / 1000ms));
    const auto threadsBefore = otherThreadsCpuSeconds();
    const auto start = std::chrono::steady_clock::now();

    for (int window = 0; window < 2 * windows; ++window)
    {
        const int loaded = window % 2 == 0 ? 1 : 0;
        host.timers().clear();

        if (loaded == 1)
            for (auto timer : extensionTimers)
                host.timers().add (timer);

        reaper_host::MainLoop loop (host.timers(), 33ms);
        const auto cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        loop.runFor (1000ms);
        wall[loaded] += std::chrono::duration<double> (std::chrono::steady_clock::now() - wallBefore).count();
        cpu[loaded] += processCpuSeconds() - cpuBefore;
    }

    const auto threads = (otherThreadsCpuSeconds() - threadsBefore) / std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    host.timers().clear();

    for (auto timer : extensionTimers)
        host.timers().add (timer);

    return {cpu[1] / wall[1], cpu[0] / wall[0], threads};
}

// The first load call of each of `count` fresh processes of this program, in us; fewer
// samples when a process fails.
std::vector<double> firstLoadsInFreshProcesses (const std::string& modulePath, int count)
{
    std::vector<double> samples;
    char self[PATH_MAX] = {};

    if (::readlink ("/proc/self/exe", self, sizeof (self) - 1) <= 0)
        return samples;

    // What the module writes to standard error stays out of the figure.
    testing_support::ProcessSetup errorsApart;
    errorsApart.errorsApart = true;

    for (int i = 0; i < count; ++i)
    {
        const auto run = testing_support::runProgram ({self, "--first-load-only", "--module", modulePath}, {}, errorsApart, 60s);
        double micros = 0;

        if (run.exitCode == 0 && std::sscanf (run.out.c_str(), "%lf", &micros) == 1)
            samples.push_back (micros);
    }

    return samples;
}
} // namespace

int main (int argc, char** argv)
{
    bool smoke = false, firstLoadOnly = false;
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            smoke = true;
        else if (arg == "--first-load-only")
            firstLoadOnly = true;
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke | --first-load-only] [--module PATH]\n", argv[0]);
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
    reaper_host::ExtensionLibrary module (host);
    auto record = HostCallTimer::wrappedRecord (*host.pluginInfo());
    const auto microseconds = [] (std::chrono::nanoseconds duration)
    { return std::chrono::duration<double, std::micro> (duration).count(); };

    if (const auto loaded = module.load (modulePath, record); !loaded.ok())
    {
        std::fprintf (stderr, "%s\n", loaded.message.c_str());
        return 1;
    }

    const auto rssAfterLoad = process_memory::residentKiB();
    const auto firstLoadMicros = microseconds (module.lastLoadCallDuration());

    if (firstLoadOnly)
    {
        module.unload();
        std::printf ("%.1f\n", firstLoadMicros);
        return 0;
    }

    const auto idle = idleCpuShares (host, idleDuration);
    const auto rssAfterIdle = process_memory::residentKiB();
    module.unload();
    const auto firstUnloadMicros = microseconds (module.lastUnloadCallDuration());

    std::vector<double> loads, unloads;

    for (int i = 0; i < cycles; ++i)
    {
        if (const auto loaded = module.load (modulePath, record); !loaded.ok())
        {
            std::fprintf (stderr, "%s\n", loaded.message.c_str());
            return 1;
        }

        loads.push_back (microseconds (module.lastLoadCallDuration()));
        reaper_host::MainLoop (host.timers(), 1ms).runFor (2ms);
        module.unload();
        unloads.push_back (microseconds (module.lastUnloadCallDuration()));
    }

    const auto rssAfterCycles = process_memory::residentKiB();
    const int freshProcesses = smoke ? 3 : 21;
    const SampleStats freshLoads (firstLoadsInFreshProcesses (modulePath, freshProcesses));

    std::printf ("Footprint figures%s; module %s\n\n", smoke ? " (smoke run)" : "", modulePath.c_str());

    const auto addedKiB = rssAfterLoad - rssBefore;
    table.addValue ("resident memory added by loading", std::to_string (addedKiB) + " KiB (" + std::to_string (rssBefore) + " -> " + std::to_string (rssAfterLoad) + " KiB)",
                    "<= 2048 KiB", FigureTable::verdictOf (addedKiB <= 2048));
    table.addNote ("after " + std::to_string (idleDuration.count() / 1000) + " s idle: " + std::to_string (rssAfterIdle - rssBefore)
                   + " KiB above the start; after " + std::to_string (cycles) + " more load/unload cycles: "
                   + std::to_string (rssAfterCycles - rssBefore) + " KiB");

    // The threads' share is in both windows alike, so the difference leaves it out.
    const auto added = idle.loaded - idle.hostAlone + idle.threads;
    const auto seconds = std::to_string (idleDuration.count() / 1000);
    table.addValue ("idle CPU added by the extension, 33 ms timer",
                    FigureTable::format (100.0 * added, 4) + " % of one core (" + seconds + " s with its timer, " + seconds
                        + " s without, alternating)",
                    "<= 0.1 %", FigureTable::verdictOf (added <= 0.001));
    table.addNote ("whole process with the extension's timer: " + FigureTable::format (100.0 * idle.loaded, 4)
                   + " %; the stand-in host's loop alone: " + FigureTable::format (100.0 * idle.hostAlone, 4)
                   + " %; the extension's own threads (reader, pipe keeper), included above: "
                   + FigureTable::format (100.0 * idle.threads, 4) + " %");

    const SampleStats loadStats (loads), unloadStats (unloads);
    table.addTiming ("load call (ReaperPluginEntry)", loadStats, "us", "<= 2000 us",
                     FigureTable::verdictOf (loadStats.median() <= 2000));
    table.addTiming ("unload call (ReaperPluginEntry)", unloadStats, "us", "<= 5000 us",
                     FigureTable::verdictOf (unloadStats.median() <= 5000));
    table.addNote ("first load of the process: " + FigureTable::format (firstLoadMicros, 1) + " us, its unload: "
                   + FigureTable::format (firstUnloadMicros, 1) + " us");
    if (freshLoads.count() == static_cast<std::size_t> (freshProcesses))
        table.addTiming ("first load call of a fresh process", freshLoads, "us", "<= 5000 us",
                         FigureTable::verdictOf (freshLoads.median() <= 5000));
    else
        table.addBroken ("first load call of a fresh process",
                         std::to_string (freshProcesses - static_cast<int> (freshLoads.count())) + " of "
                             + std::to_string (freshProcesses) + " processes failed to load the module");

    table.print();
    return table.isBroken() ? 3 : 0;
}
