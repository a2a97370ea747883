#pragma once

#include "api/ReaperTypes.h"

// Stands between the extension and the host's functions: hands the extension timing
// wrappers instead of the host's own functions, so that the time spent inside the host can
// be told apart from the extension's own.
class HostCallTimer
{
public:
    // The GetFunc whose functions the wrappers call.
    static void setInnerGetFunc (HostGetFunc inner);

    // A copy of the host's record whose GetFunc is getFunc(), wrapping the record's own:
    // what a benchmark hands the extension at its load call.
    static reaper_plugin_info_t wrappedRecord (const reaper_plugin_info_t& hostRecord);

    // The GetFunc to give the extension: a timing wrapper for each of the 35 functions
    // and the four optional ones, the inner function itself for any other name.
    static void* getFunc (const char* name);

    // Also adds up the calling thread's CPU time inside the host's functions. Off by
    // default: reading a thread's CPU clock is a system call, which the wrappers then add.
    static void setMeasuringCpu (bool measure);

    // Time spent inside the host's functions, and their number, since the last reset.
    static long long nanoseconds();
    static long long cpuNanoseconds();
    static long long calls();
    static void reset();
};
