#pragma once

#include <map>
#include <string>

namespace reaper_host
{
// Decides which host calls fail on purpose, the way REAPER can refuse them: a failing
// call returns its function's failure value (null handle, false, 0) and changes nothing.
class FaultInjector
{
public:
    static constexpr int always = -1;

    // Makes the named host function fail for its next `times` calls (or always).
    void fail (const std::string& function, int times = always);

    // Makes the named function fail only on its call number `callNumber` (1 = the next).
    void failOnCall (const std::string& function, int callNumber);

    void heal (const std::string& function);
    void clear();

    // Called once per host call; true when this call must fail.
    bool shouldFail (const std::string& function);

    bool isArmed (const std::string& function) const;

private:
    struct Plan
    {
        int skip = 0;      // calls to let through first
        int remaining = 0; // failures still to deliver, or `always`
    };

    std::map<std::string, Plan> plans;
};
} // namespace reaper_host
