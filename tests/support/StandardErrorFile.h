#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <unistd.h>

#include "LogFileLines.h"

namespace testing_support
{
// Standard error sent to a file of its own (or to `fd`) while this lives. The extension
// writes standard error from a thread of its own, so what it wrote arrives a little later:
// textWith waits.
class StandardErrorFile
{
public:
    explicit StandardErrorFile (int fd = -1)
    {
        ::dup2 (fd < 0 ? ::fileno (file) : fd, STDERR_FILENO);
    }

    ~StandardErrorFile()
    {
        ::dup2 (saved, STDERR_FILENO);
        ::close (saved);
        std::fclose (file);
    }

    std::string text() const
    {
        return readWholeFile ("/proc/self/fd/" + std::to_string (::fileno (file)));
    }

    // The text once it holds `part`, or as it is after 10 s.
    std::string textWith (const std::string& part) const
    {
        auto now = text();

        for (int i = 0; i < 1000 && now.find (part) == std::string::npos; ++i, now = text())
            std::this_thread::sleep_for (std::chrono::milliseconds (10));

        return now;
    }

private:
    std::FILE* file = std::tmpfile();
    int saved = ::dup (STDERR_FILENO);
};
} // namespace testing_support
