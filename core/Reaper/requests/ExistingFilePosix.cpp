#include "requests/ExistingFile.h"

#include <climits>
#include <cstring>
#include <string>

#include <pwd.h>
#include <sys/stat.h>

#include "HomeFolder.h"
#include "Utf8Text.h"

namespace existing_file
{
namespace
{
// The path with a leading "~" or "~user" made the home folder it names.
std::string expandHome (const std::string& path)
{
    if (path.empty() || path[0] != '~')
        return path;

    const auto slash = path.find ('/');
    const auto user = path.substr (1, slash == std::string::npos ? std::string::npos : slash - 1);
    const auto rest = slash == std::string::npos ? std::string() : path.substr (slash);

    if (user.empty())
        return home_folder::path() + rest;

    const auto* owner = getpwnam (user.c_str());
    return owner != nullptr ? owner->pw_dir + rest : path;
}
} // namespace

bool named (const char* pathBytes)
{
    // stat refuses a path of PATH_MAX bytes or more.
    if ((pathBytes[0] != '/' && pathBytes[0] != '~') || ::strnlen (pathBytes, PATH_MAX) >= PATH_MAX)
        return false;

    struct stat info;
    return ::stat (expandHome (utf8::sanitized (pathBytes)).c_str(), &info) == 0 && !S_ISDIR (info.st_mode);
}
} // namespace existing_file
