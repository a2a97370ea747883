#include "HomeFolder.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace home_folder
{
std::string path()
{
    if (const char* home = std::getenv ("HOME"); home != nullptr && home[0] == '/')
        return home;

    // getpwuid_r with a buffer as large as the system suggests, grown while it is too small.
    const auto suggested = ::sysconf (_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer (suggested > 0 ? static_cast<std::size_t> (suggested) : 4096);
    struct passwd entry;
    struct passwd* found = nullptr;
    int error = 0;

    while ((error = ::getpwuid_r (::geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE && buffer.size() < 1024 * 1024)
        buffer.resize (buffer.size() * 2);

    return error == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/' ? found->pw_dir : "";
}
} // namespace home_folder
