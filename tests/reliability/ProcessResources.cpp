#include "ProcessResources.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace process_resources
{
std::vector<std::string> openDescriptors()
{
    namespace fs = std::filesystem;
    std::vector<std::string> targets;
    std::error_code error;

    // The iterator's own descriptor is among them, once, at every call alike.
    for (const auto& entry : fs::directory_iterator ("/proc/self/fd", error))
    {
        std::error_code readError;
        const auto target = fs::read_symlink (entry.path(), readError);
        targets.push_back (readError ? std::string ("?") : target.string());
    }

    std::sort (targets.begin(), targets.end());
    return targets;
}

int threadCount()
{
    namespace fs = std::filesystem;
    std::error_code error;
    int count = 0;

    for (auto it = fs::directory_iterator ("/proc/self/task", error); !error && it != fs::directory_iterator(); it.increment (error))
        ++count;

    return count;
}

bool isMapped (const std::string& path)
{
    std::ifstream maps ("/proc/self/maps");
    std::string line;

    while (std::getline (maps, line))
        if (line.size() >= path.size() && line.compare (line.size() - path.size(), path.size(), path) == 0)
            return true;

    return false;
}

bool pathExists (const std::string& path)
{
    struct stat info;
    return ::lstat (path.c_str(), &info) == 0;
}
} // namespace process_resources
