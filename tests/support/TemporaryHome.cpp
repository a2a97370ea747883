#include "TemporaryHome.h"

#include <cstdlib>

namespace testing_support
{
namespace
{
std::optional<std::string> environmentValue (const char* name)
{
    const char* value = std::getenv (name);
    return value != nullptr ? std::optional<std::string> (value) : std::nullopt;
}

void restoreEnvironment (const char* name, const std::optional<std::string>& value)
{
    if (value)
        setenv (name, value->c_str(), 1);
    else
        unsetenv (name);
}
} // namespace

TemporaryHome::TemporaryHome()
    : previousHome (environmentValue ("HOME"))
    , previousConfigHome (environmentValue ("XDG_CONFIG_HOME"))
{
    if (!path().empty())
        setenv ("HOME", path().c_str(), 1);

    unsetenv ("XDG_CONFIG_HOME");
}

TemporaryHome::~TemporaryHome()
{
    restoreEnvironment ("HOME", previousHome);
    restoreEnvironment ("XDG_CONFIG_HOME", previousConfigHome);
}

std::string TemporaryHome::logFilePath() const
{
#if defined(__APPLE__)
    return file ("Library/Logs/Belvanta/Reaper.txt");
#else
    return file (".config/Belvanta/Reaper.txt");
#endif
}
} // namespace testing_support
