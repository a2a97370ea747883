#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace testing_support
{
// A fresh directory under the system's temporary folder, its name starting with the
// prefix, removed with its contents when the object goes away.
class TempDirectory
{
public:
    explicit TempDirectory (const std::string& prefix = "bv-test")
    {
        auto pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();

        if (mkdtemp (pattern.data()) != nullptr)
            root = pattern;
    }

    ~TempDirectory()
    {
        std::error_code ignored;

        if (!root.empty())
            std::filesystem::remove_all (root, ignored);
    }

    TempDirectory (const TempDirectory&) = delete;
    TempDirectory& operator= (const TempDirectory&) = delete;

    std::string path (const std::string& name) const
    {
        return (std::filesystem::path (root) / name).string();
    }

    // The directory itself; empty if it could not be made.
    const std::string& directory() const
    {
        return root;
    }

private:
    std::string root;
};
} // namespace testing_support
