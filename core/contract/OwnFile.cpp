#include "OwnFile.h"

#include <cerrno>

namespace own_file
{
namespace
{
std::string parentOf (const std::string& path)
{
    const auto slash = path.rfind ('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/"
                                                         : path.substr (0, slash);
}
} // namespace

std::string nearestExisting (const std::string& folder)
{
    struct stat info;
    auto at = folder;

    while (::stat (at.c_str(), &info) != 0)
    {
        if (errno != ENOENT || at == "/" || at == ".")
            return {};

        at = parentOf (at);
    }

    return at;
}

std::string whyNotMade (const std::string& folder)
{
    const auto existing = nearestExisting (folder);
    struct stat info;

    if (existing.empty() || existing == folder || ::stat (existing.c_str(), &info) != 0 || info.st_uid == ::geteuid())
        return {};

    return "is missing and would be made in " + existing + ", which is owned by another user";
}

std::string makeFolders (const std::string& folder, mode_t mode)
{
    auto why = whyNotMade (folder);

    if (!why.empty())
        return why;

    // Outermost first; those that exist are left as they are.
    for (auto slash = folder.find ('/', 1); slash != std::string::npos; slash = folder.find ('/', slash + 1))
        ::mkdir (folder.substr (0, slash).c_str(), 0700);

    ::mkdir (folder.c_str(), mode);
    return why;
}
} // namespace own_file
