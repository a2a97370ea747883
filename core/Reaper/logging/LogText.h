#pragma once

#include <ctime>
#include <string>

// How numbers and times appear in log lines. Always as in the C locale, whatever locale
// the host process has set: a log line reads the same on every machine.
namespace log_text
{
// Up to six significant digits, as printf's %g: 1.5, 0, 12.3457, 1e-07. [any thread]
std::string number (double value);

// Six decimals, as printf's %f: 1.500000. [any thread]
std::string fixed (double value);

// A local time as the log's banner shows it: "8 Dec 2026 6:24:05pm". [any thread]
std::string bannerTime (const std::tm& local);

// The same for now. [any thread]
std::string bannerTimeNow();

// The line counting lines lost (a full disk, a queue full), with its line end. [any thread]
std::string lostNotice (long long lines);

// Drops the oldest whole lines of text until it is at most `bound` bytes; how many lines went.
// [any thread]
long long dropOldestLines (std::string& text, std::size_t bound);
} // namespace log_text
