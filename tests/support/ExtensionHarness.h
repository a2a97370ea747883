#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ExtensionLibrary.h"
#include "FixedPipeLock.h"
#include "HostMainThread.h"
#include "HostModel.h"
#include "MainLoop.h"
#include "PipeClient.h"
#include "TemporaryHome.h"

namespace testing_support
{
// What a test wants of the harness beyond the defaults.
struct HarnessOptions
{
    // The project starts with one track, "Track 1", selected, and the edit cursor at 0;
    // otherwise it starts empty and the test builds it.
    bool oneSelectedTrack = true;

    // Measure how long each round of timers holds the host's main thread (longestTick,
    // totalTickTime).
    bool timeTicks = false;
};

// The project empty and every round of timers timed: for the fault and load tests, which
// build their own project and bound how long the main thread is held.
inline constexpr HarnessOptions kTimedEmptyProject{false, true};

// Runs the real, built extension module inside the stand-in REAPER the way REAPER does:
// a fresh home folder for its log, the host model reset to a small project, the module
// loaded with dlopen and its entry point, REAPER's timers ticked on the test's thread (the
// host's main thread) every millisecond while a client talks to the pipe from another thread,
// and the module unloaded at the end (or when the harness goes).
class ExtensionHarness
{
public:
    using Milliseconds = std::chrono::milliseconds;
    using Microseconds = std::chrono::microseconds;

    // The extension's fixed pipe: its name and its two FIFOs.
    static constexpr const char* pipeName = "bv_reaper";
    static constexpr const char* requestFifo = "/tmp/bv_reaper_in";
    static constexpr const char* replyFifo = "/tmp/bv_reaper_out";

    // The project is set up as the options say. Waits (up to 10 s) while another process on
    // this machine has the fixed pipe's files in /tmp.
    explicit ExtensionHarness (HarnessOptions options = {});
    ~ExtensionHarness();

    ExtensionHarness (const ExtensionHarness&) = delete;
    ExtensionHarness& operator= (const ExtensionHarness&) = delete;

    // The path of the built module, reaper_belvanta_extension.
    static std::string modulePath();

    // The timers a loaded extension keeps: one where its rounds run on a timer (Linux),
    // none where they come from the main queue on demand (the macOS platform file).
    static int timersOfALoadedExtension()
    {
        return reaper_host::host_main_thread::extensionRoundsComeOnDemand() ? 0 : 1;
    }

    reaper_host::HostModel& host()
    {
        return model;
    }

    const TemporaryHome& home() const
    {
        return temporaryHome;
    }

    // dlopen and ReaperPluginEntry with a record of this version.
    reaper_host::LoadResult load (int callerVersion = kReaperPluginVersion);

    // ReaperPluginEntry with no record, then dlclose. The result is the number of timers the
    // module left registered (0 when it behaves). Nothing happens when nothing is loaded.
    int unload();

    bool isLoaded() const
    {
        return extension.isLoaded();
    }

    // The module's library, for tests that make the entry point's calls one at a time
    // (library().open (modulePath()), then loadCall() and unloadCall()).
    reaper_host::ExtensionLibrary& library()
    {
        return extension;
    }

    // The host's main loop whose timers the harness ticks.
    reaper_host::MainLoop& mainLoop()
    {
        return loop;
    }

    // Ticks the timers until the condition holds or the timeout passes; the condition's last value.
    bool pumpUntil (const std::function<bool()>& condition, Milliseconds timeout = Milliseconds (3000));

    void pumpFor (Milliseconds duration);

    // Runs clientWork on a new thread with a client of the pipe (not yet opened), ticking the
    // timers here meanwhile, and returns once it has ended. clientWork must end by itself:
    // every PipeClient operation has a timeout.
    void runClient (const std::function<void (PipeClient&)>& clientWork);

    // Opens the pipe, sends one packet with this payload and waits for one reply payload,
    // with the timers ticking. Nothing when the pipe cannot be opened, the send fails or no
    // reply arrives in time.
    std::optional<std::string> request (const std::string& payload, int timeoutMs = 3000);

    // The log file's lines (see readLogLines).
    std::vector<std::string> logLines() const;

    // The log file as far as it has been written, byte for byte.
    std::string logText() const;

    // With timeTicks: the longest a round of timers has held the main thread, and all the
    // time rounds have held it, since construction or the last resetTickStatistics().
    Microseconds longestTick() const
    {
        return longest;
    }

    Microseconds totalTickTime() const
    {
        return total;
    }

    void resetTickStatistics();

    // The /tmp files of the fixed pipe that exist now.
    std::vector<std::string> pipeFiles() const;

private:
    FixedPipeLock pipeLock;
    TemporaryHome temporaryHome;
    reaper_host::HostModel& model;
    reaper_host::ExtensionLibrary extension;
    reaper_host::MainLoop loop;
    Microseconds longest{0};
    Microseconds total{0};
};
} // namespace testing_support
