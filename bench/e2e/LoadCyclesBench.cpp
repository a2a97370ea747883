// What repeated loading and unloading of the module leaves behind in the host's process:
// resident memory after many load/unload cycles, compared with after the first one. A module
// that owns a copy of the C++ runtime or of protobuf must give back what they allocated at
// unload, or every cycle (a REAPER that reloads extensions, a host that scans plug-ins)
// keeps it. Loads through the stand-in host's loader, as the tests do.
//
// Then it loads the module once more and checks that it still answers a request.
//
//   bv-bench-load-cycles [--smoke] [--cycles N] [--module PATH]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ExtensionLibrary.h"
#include "FigureTable.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "PipeClient.h"
#include "PipeContract.h"
#include "ProcessMemory.h"
#include "RequestPayloads.h"
#include "TemporaryHome.h"

namespace
{
using namespace std::chrono_literals;

constexpr long kGrowthAllowedKiB = 1024;

// One cycle: load, let the host's loop run the extension's timer a few times, unload.
bool cycle (reaper_host::ExtensionLibrary& library, reaper_host::HostModel& host, const std::string& modulePath)
{
    const auto loaded = library.load (modulePath);

    if (!loaded.ok())
    {
        std::fprintf (stderr, "%s\n", loaded.message.c_str());
        return false;
    }

    reaper_host::MainLoop (host.timers(), 1ms).runFor (3ms);
    library.unload();

    // The stand-in host records every call it gets; that record is the host's, not the module's.
    host.journal().clear();
    return true;
}

// Whether the module loaded once more still answers a version request over its pipe: what
// it gave back at the last unload must have been made anew by this load.
bool answersAfterReload (reaper_host::ExtensionLibrary& library, reaper_host::HostModel& host, const std::string& modulePath)
{
    if (!library.load (modulePath).ok())
        return false;

    bool answered = false;
    reaper_host::MainLoop (host.timers(), 1ms).runWhile ([&]
                                                         {
        PipeClient pipe;
        if (pipe.open (pipe_contract::kPipeName, 5000) && pipe.send (request_payloads::version(), 5000))
            if (const auto reply = pipe.receive (5000))
                answered = request_payloads::isVersionReply (*reply); });
    library.unload();
    return answered;
}
} // namespace

int main (int argc, char** argv)
{
    int cycles = 200;
    std::string modulePath = BV_MODULE_PATH;

    for (int i = 1; i < argc; ++i)
    {
        const std::string arg (argv[i]);

        if (arg == "--smoke")
            cycles = 20;
        else if (arg == "--cycles" && i + 1 < argc)
            cycles = std::max (1, std::atoi (argv[++i]));
        else if (arg == "--module" && i + 1 < argc)
            modulePath = argv[++i];
        else
        {
            std::fprintf (stderr, "usage: %s [--smoke] [--cycles N] [--module PATH]\n", argv[0]);
            return 2;
        }
    }

    testing_support::TemporaryHome home;
    auto& host = reaper_host::HostModel::current();
    host.reset();
    host.echoMessageBoxes = false;
    reaper_host::ExtensionLibrary library (host);

    // The first cycle pays for what stays by design (the loader's own bookkeeping, the
    // host's first allocations); the growth is counted from after it.
    const auto rssBefore = process_memory::residentKiB();

    if (!cycle (library, host, modulePath))
        return 1;

    const auto rssAfterFirst = process_memory::residentKiB();

    for (int i = 1; i < cycles; ++i)
        if (!cycle (library, host, modulePath))
            return 1;

    const auto rssAfterAll = process_memory::residentKiB();
    const auto growth = rssAfterAll - rssAfterFirst;
    const bool answers = answersAfterReload (library, host, modulePath);

    std::printf ("Load/unload figures; module %s\n\n", modulePath.c_str());
    FigureTable table;
    table.addValue ("resident memory growth over " + std::to_string (cycles - 1) + " more load/unload cycles",
                    std::to_string (growth) + " KiB (" + std::to_string (rssAfterFirst) + " -> " + std::to_string (rssAfterAll) + " KiB), "
                        + FigureTable::format (1024.0 * static_cast<double> (growth) / std::max (1, cycles - 1), 0) + " bytes per cycle",
                    "< " + std::to_string (kGrowthAllowedKiB) + " KiB", FigureTable::verdictOf (growth < kGrowthAllowedKiB));
    table.addNote ("before the first load: " + std::to_string (rssBefore) + " KiB; after the first cycle: " + std::to_string (rssAfterFirst) + " KiB");
    if (answers)
        table.addValue ("a version request after the cycles, loaded once more", "answered");
    else
        table.addBroken ("a version request after the cycles, loaded once more", "not answered");

    table.print();
    return table.missedCount() > 0 || table.isBroken() ? 3 : 0;
}
