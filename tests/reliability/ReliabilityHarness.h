#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "ExtensionLibrary.h"
#include "FixedPipeLock.h"
#include "HostModel.h"
#include "TempDirectory.h"

namespace reliability_testing
{
// The real extension module loaded into this process the way REAPER loads it, with the
// stand-in host's project, a fresh home folder for its log, and REAPER's main loop run on
// the test's thread, which measures how long each round of timers holds that thread. Holds
// the machine-wide lock of the fixed pipe while it exists.
class ReliabilityHarness
{
public:
    static constexpr const char* requestFifo = "/tmp/bv_reaper_in";
    static constexpr const char* replyFifo = "/tmp/bv_reaper_out";

    ReliabilityHarness();
    ~ReliabilityHarness();

    ReliabilityHarness (const ReliabilityHarness&) = delete;
    ReliabilityHarness& operator= (const ReliabilityHarness&) = delete;

    static std::string modulePath();

    reaper_host::LoadResult load();
    void unload();
    bool isLoaded() const;

    // Plays REAPER's main loop (timers every millisecond) until the condition holds or the
    // timeout passes; the condition is checked on this thread between rounds.
    bool runUntil (const std::function<bool()>& condition, std::chrono::milliseconds timeout);
    void runFor (std::chrono::milliseconds duration);

    // The longest a round of timers has held the main thread, since construction or the last
    // resetTickStatistics().
    std::chrono::microseconds longestTick() const
    {
        return longest;
    }
    // All the time rounds of timers have held the main thread, over the same span.
    std::chrono::microseconds totalTickTime() const
    {
        return total;
    }

    void resetTickStatistics();

    // The extension's log file, as far as it has been written.
    std::string logText() const;

    // A file in this harness's scratch folder (also its home folder).
    std::string scratchPath (const std::string& name) const
    {
        return home.path (name);
    }

    reaper_host::HostModel& model;

private:
    void tick();

    testing_support::FixedPipeLock pipeLock;
    testing_support::TempDirectory home;
    std::string previousHome;
    bool hadHome = false;
    reaper_host::ExtensionLibrary library;
    std::chrono::microseconds longest{0};
    std::chrono::microseconds total{0};
};
} // namespace reliability_testing
