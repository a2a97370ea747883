#include "TemporaryHome.h"

#include <cstdlib>
#include <filesystem>

TemporaryHome::TemporaryHome()
{
    if (const char* home = std::getenv ("HOME"))
    {
        hadHome = true;
        previousHome = home;
    }

    std::string pattern = (std::filesystem::temp_directory_path() / "bv-bench-home-XXXXXX").string();

    if (::mkdtemp (pattern.data()) != nullptr)
        folder = pattern;

    if (!folder.empty())
        ::setenv ("HOME", folder.c_str(), 1);
}

TemporaryHome::~TemporaryHome()
{
    if (hadHome)
        ::setenv ("HOME", previousHome.c_str(), 1);
    else
        ::unsetenv ("HOME");

    if (!folder.empty())
    {
        std::error_code ignored;
        std::filesystem::remove_all (folder, ignored);
    }
}
