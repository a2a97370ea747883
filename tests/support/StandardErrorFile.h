#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <unistd.h>

namespace testing_support
{
// Standard error sent to a file of its own while this lives. The extension writes standard
// error from a thread of its own, so what it wrote arrives a little later: textOnce waits.
class StandardErrorFile
{
public:
    StandardErrorFile()
    {
        ::dup2 (::fileno (file), STDERR_FILENO);
    }

    ~StandardErrorFile()
    {
        ::dup2 (saved, STDERR_FILENO);
        ::close (saved);
        std::fclose (file);
    }

    StandardErrorFile (const StandardErrorFile&) = delete;
    StandardErrorFile& operator= (const StandardErrorFile&) = delete;

    std::string text() const
    {
        std::string all;
        char buffer[4096];

        for (ssize_t got; (got = ::pread (::fileno (file), buffer, sizeof (buffer), static_cast<off_t> (all.size()))) > 0;)
            all.append (buffer, static_cast<std::size_t> (got));

        return all;
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
