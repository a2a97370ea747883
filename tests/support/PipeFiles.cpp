#include "PipeFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace testing_support
{
std::vector<std::string> pipeFilesInTmp (const std::string& pipeName)
{
    const auto prefix = pipeName + "_";
    const auto clientLock = pipeName + "_client.lock";
    std::vector<std::string> found;
    std::error_code error;

    for (const auto& entry : std::filesystem::directory_iterator ("/tmp", error))
    {
        const auto name = entry.path().filename().string();

        if (name.compare (0, prefix.size(), prefix) == 0 && name != clientLock)
            found.push_back (entry.path().string());
    }

    std::sort (found.begin(), found.end());
    return found;
}
} // namespace testing_support
