#pragma once

// This process's resident memory, from /proc/self (Linux).
namespace process_memory
{
// Resident set size now, in KiB; -1 when unknown.
long residentKiB();

// The highest resident set size since the start or the last resetPeak(), in KiB.
long peakResidentKiB();

// Starts a new peak from the current resident set size; false when the system does not allow it.
bool resetPeak();
} // namespace process_memory
