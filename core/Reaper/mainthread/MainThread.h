#pragma once

#include <chrono>
#include <functional>

#include "api/ReaperTypes.h"

// Work handed to REAPER's main thread, run there in rounds: the system calls a round from
// REAPER's own loop (see Platform.h), and each round runs, in posting order, at most
// kMaxItemsPerRound of the items that were waiting when it began, starting none after
// kRoundBudget. The rest waits for the next round, so REAPER gets its main thread back in
// between however much is posted.
namespace main_thread
{
constexpr int kMaxItemsPerRound = 64;
constexpr auto kRoundBudget = std::chrono::milliseconds (50);

// Work posted from inside a round runs in a later round. [any thread]
void post (std::function<void()> work);

// The number of the round under way (or of the last one): work that keeps to a budget of
// its own per round compares it. [any thread]
unsigned currentRound();

// Runs one round now; the number of items run. [main thread]
int runRound (int maxItems = kMaxItemsPerRound);

// Arranges for REAPER's main thread to run the rounds from now on, starting with what was
// posted before; false when it cannot be. [main thread]
bool start (const reaper_plugin_info_t& rec);

// Stops the rounds and drops what waits without running it; safe when never started.
// [main thread]
void stop();
} // namespace main_thread
