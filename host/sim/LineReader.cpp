#include "LineReader.h"

namespace reaper_host
{
std::vector<std::string> LineReader::poll (std::chrono::microseconds timeout)
{
    std::vector<std::string> lines;

    if (ended)
        return lines;

    const auto read = readSome (timeout, pending);

    if (read == Read::end)
    {
        ended = true;

        if (!pending.empty())
            lines.push_back (std::move (pending));

        pending.clear();
        return lines;
    }

    for (auto end = pending.find ('\n'); end != std::string::npos; end = pending.find ('\n'))
    {
        lines.push_back (pending.substr (0, end));
        pending.erase (0, end + 1);
    }

    return lines;
}
} // namespace reaper_host
