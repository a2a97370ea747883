#include "FaultInjector.h"

namespace reaper_host
{
void FaultInjector::fail (const std::string& function, int times)
{
    if (times == 0)
        heal (function);
    else
        plans[function] = Plan{0, times < 0 ? always : times};
}

void FaultInjector::failOnCall (const std::string& function, int callNumber)
{
    if (callNumber < 1)
        return;

    plans[function] = Plan{callNumber - 1, 1};
}

void FaultInjector::heal (const std::string& function)
{
    plans.erase (function);
}

void FaultInjector::clear()
{
    plans.clear();
}

bool FaultInjector::shouldFail (const std::string& function)
{
    auto found = plans.find (function);

    if (found == plans.end())
        return false;

    auto& plan = found->second;

    if (plan.skip > 0)
    {
        --plan.skip;
        return false;
    }

    if (plan.remaining != always && --plan.remaining == 0)
        plans.erase (found);

    return true;
}

bool FaultInjector::isArmed (const std::string& function) const
{
    return plans.count (function) != 0;
}
} // namespace reaper_host
