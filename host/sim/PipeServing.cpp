#include "PipeServing.h"

namespace reaper_host
{
std::string describe (const PipeServing& serving)
{
    const auto pid = serving.processId > 0 ? " (pid " + std::to_string (serving.processId) + ")" : std::string();

    switch (serving.state)
    {
        case PipeServing::State::thisProcess:
            return "served by this process" + pid;
        case PipeServing::State::otherProcess:
            return "served by another process" + pid;
        case PipeServing::State::nobody:
            break;
    }

    return "not served";
}
} // namespace reaper_host
