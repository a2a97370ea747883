#include "ProcessMemory.h"

#include <fstream>
#include <string>

namespace process_memory
{
namespace
{
long statusField (const char* name)
{
    std::ifstream status ("/proc/self/status");
    const std::string prefix (name);
    std::string line;

    while (std::getline (status, line))
        if (line.rfind (prefix, 0) == 0)
            return std::stol (line.substr (prefix.size()));

    return -1;
}
} // namespace

long residentKiB()
{
    return statusField ("VmRSS:");
}

long peakResidentKiB()
{
    return statusField ("VmHWM:");
}

bool resetPeak()
{
    // "5" resets the peak resident set size (Linux 4.0 and later).
    std::ofstream clear ("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool> (clear);
}
} // namespace process_memory
