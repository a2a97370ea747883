#pragma once

#include <optional>
#include <string>

#include "ScopedVariable.h"
#include "TempDirectory.h"

namespace testing_support
{
// Gives the process a fresh, empty home folder for as long as it lives: HOME points at a new
// temporary folder (XDG_CONFIG_HOME is unset so that ~/.config is used), and both are put
// back and the folder removed with its contents afterwards.
class TemporaryHome
{
public:
    TemporaryHome() = default;

    TemporaryHome (const TemporaryHome&) = delete;
    TemporaryHome& operator= (const TemporaryHome&) = delete;

    // The folder that HOME names; empty if it could not be made.
    const std::string& path() const
    {
        return folder.directory();
    }

    // path() joined with a relative path.
    std::string file (const std::string& relativePath) const
    {
        return folder.path (relativePath);
    }

    // Where the extension writes its log on this system, under this home.
    std::string logFilePath() const;

private:
    TempDirectory folder{"bv-home"};

    // After the folder, so that the variables are put back before it is removed. Without a
    // folder HOME keeps its value.
    ScopedVariable homeVariable{"HOME", path().empty() ? ScopedVariable::valueOf ("HOME") : path()};
    ScopedVariable configHomeVariable{"XDG_CONFIG_HOME", std::nullopt};
};
} // namespace testing_support
