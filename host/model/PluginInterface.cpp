#include "PluginInterface.h"

#include <cstring>

#include "HostCall.h"

namespace reaper_host
{
int registerWithHost (const char* name, void* infostruct)
{
    HostCall call ("Register");
    call.arg (journal_format::quoted (name)).arg (infostruct != nullptr ? "function" : "null");

    if (name == nullptr)
        return call.returns (0, "0");

    auto& model = call.model;
    auto timer = reinterpret_cast<TimerRegistry::TimerFn> (infostruct);

    if (std::strcmp (name, "timer") == 0)
    {
        if (timer == nullptr || call.injectedFailure())
            return call.returns (0, "0");

        model.timers().add (timer);
        return call.returns (1, "1");
    }

    if (std::strcmp (name, "-timer") == 0)
        return model.timers().remove (timer) ? call.returns (1, "1") : call.returns (0, "0");

    model.otherRegistrations.emplace_back (name);
    return call.returns (0, "0");
}
} // namespace reaper_host
