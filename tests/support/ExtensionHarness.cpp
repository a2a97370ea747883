#include "ExtensionHarness.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "LogFileLines.h"
#include "PipeFiles.h"

namespace testing_support
{
namespace
{
// REAPER ticks about every 33 ms; ticking faster keeps the tests quick without changing
// what the extension sees.
constexpr auto kTickPeriod = std::chrono::milliseconds (1);

// The fixed pipe's files exist while an extension of another test run on this machine is
// loaded; its traffic would mix with ours. Waits a while for them to go.
void waitForTheFixedPipeToBeFree (const std::string& pipeName)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (10);

    while (!pipeFilesInTmp (pipeName).empty())
    {
        if (std::chrono::steady_clock::now() >= deadline)
        {
            std::fprintf (stderr, "note: /tmp/%s_* still exist; another run may be using the pipe\n", pipeName.c_str());
            return;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (20));
    }
}
} // namespace

ExtensionHarness::ExtensionHarness (HarnessOptions options)
    : model (reaper_host::HostModel::current())
    , extension (model)
    , loop (model.timers(), kTickPeriod)
{
    model.reset();
    model.timers().clear();
    model.echoMessageBoxes = false;

    if (options.oneSelectedTrack)
    {
        model.addTrack ("Track 1");
        model.selectTracks ({0});
        model.setCursor (0);
    }

    if (options.timeTicks)
        loop.setRoundObserver ([this] (const reaper_host::MainLoop::Round& round)
                               {
                                   const auto took = std::chrono::duration_cast<Microseconds> (round.wall);
                                   longest = std::max (longest, took);
                                   total += took; });

    waitForTheFixedPipeToBeFree (pipeName);
}

ExtensionHarness::~ExtensionHarness()
{
    unload();
    model.timers().clear();
    model.reset();
    model.echoMessageBoxes = true;
}

std::string ExtensionHarness::modulePath()
{
    return BV_EXTENSION_MODULE_PATH;
}

reaper_host::LoadResult ExtensionHarness::load (int callerVersion)
{
    return extension.load (modulePath(), callerVersion);
}

int ExtensionHarness::unload()
{
    return extension.unload();
}

bool ExtensionHarness::pumpUntil (const std::function<bool()>& condition, Milliseconds timeout)
{
    return loop.runUntil (condition, timeout);
}

void ExtensionHarness::pumpFor (Milliseconds duration)
{
    loop.runFor (duration);
}

void ExtensionHarness::runClient (const std::function<void (PipeClient&)>& clientWork)
{
    loop.runWhile ([&]
                   {
                       PipeClient pipeClient;
                       clientWork (pipeClient);
                       pipeClient.close(); });
}

std::optional<std::string> ExtensionHarness::request (const std::string& payload, int timeoutMs)
{
    std::optional<std::string> reply;

    runClient ([&] (PipeClient& client)
               {
                   if (client.open (pipeName, timeoutMs) && client.send (payload, timeoutMs))
                       reply = client.receive (timeoutMs); });

    return reply;
}

std::vector<std::string> ExtensionHarness::logLines() const
{
    return readLogLines (temporaryHome.logFilePath());
}

std::string ExtensionHarness::logText() const
{
    return readWholeFile (temporaryHome.logFilePath());
}

void ExtensionHarness::resetTickStatistics()
{
    longest = Microseconds (0);
    total = Microseconds (0);
}

std::vector<std::string> ExtensionHarness::pipeFiles() const
{
    return pipeFilesInTmp (pipeName);
}
} // namespace testing_support
