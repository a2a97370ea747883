#include "TemporaryHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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
    auto pattern = (std::filesystem::temp_directory_path() / "bv-home-XXXXXX").string();

    if (mkdtemp (pattern.data()) != nullptr)
        root = pattern;

    if (!root.empty())
        setenv ("HOME", root.c_str(), 1);

    unsetenv ("XDG_CONFIG_HOME");
}

TemporaryHome::~TemporaryHome()
{
    restoreEnvironment ("HOME", previousHome);
    restoreEnvironment ("XDG_CONFIG_HOME", previousConfigHome);

    std::error_code ignored;

    if (!root.empty())
        std::filesystem::remove_all (root, ignored);
}

std::string TemporaryHome::file (const std::string& relativePath) const
{
    return (std::filesystem::path (root) / relativePath).string();
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
