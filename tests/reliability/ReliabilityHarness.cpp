#include "ReliabilityHarness.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace reliability_testing
{
namespace
{
using Clock = std::chrono::steady_clock;

constexpr auto kLoopPeriod = std::chrono::milliseconds (1);
} // namespace

ReliabilityHarness::ReliabilityHarness()
    : model (reaper_host::HostModel::current())
    , library (model)
{
    model.reset();
    model.timers().clear();

    if (const char* current = std::getenv ("HOME"))
    {
        previousHome = current;
        hadHome = true;
    }

    // The extension's log goes to $HOME/.config/Belvanta/Reaper.txt.
    ::setenv ("HOME", home.directory().c_str(), 1);
}

ReliabilityHarness::~ReliabilityHarness()
{
    unload();
    model.reset();
    model.timers().clear();

    if (hadHome)
        ::setenv ("HOME", previousHome.c_str(), 1);
    else
        ::unsetenv ("HOME");
}

std::string ReliabilityHarness::modulePath()
{
    return BV_EXTENSION_PATH;
}

reaper_host::LoadResult ReliabilityHarness::load()
{
    return library.load (modulePath());
}

void ReliabilityHarness::unload()
{
    library.unload();
}

bool ReliabilityHarness::isLoaded() const
{
    return library.isLoaded();
}

void ReliabilityHarness::tick()
{
    const auto start = Clock::now();
    model.timers().runAll();
    const auto took = std::chrono::duration_cast<std::chrono::microseconds> (Clock::now() - start);
    longest = std::max (longest, took);
    total += took;
}

bool ReliabilityHarness::runUntil (const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;

    while (!condition())
    {
        if (Clock::now() >= deadline)
            return false;

        tick();
        std::this_thread::sleep_for (kLoopPeriod);
    }

    return true;
}

void ReliabilityHarness::runFor (std::chrono::milliseconds duration)
{
    runUntil ([]
              { return false; },
              duration);
}

void ReliabilityHarness::resetTickStatistics()
{
    longest = std::chrono::microseconds (0);
    total = std::chrono::microseconds (0);
}

std::string ReliabilityHarness::logText() const
{
    std::ifstream file (home.path (".config/Belvanta/Reaper.txt"), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
} // namespace reliability_testing
