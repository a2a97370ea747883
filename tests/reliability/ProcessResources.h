#pragma once

#include <string>
#include <vector>

// What this process holds, read from /proc, to prove that loading and unloading the
// extension leaves nothing behind.
namespace process_resources
{
// What each open descriptor refers to (e.g. "pipe:[1234]", "/tmp/x"), sorted.
std::vector<std::string> openDescriptors();

// The number of threads of this process.
int threadCount();

// True when a file of this path is mapped into the process (a loaded library).
bool isMapped (const std::string& path);

// True when something exists at the path (a FIFO, a file, a link), without following links.
bool pathExists (const std::string& path);
} // namespace process_resources
