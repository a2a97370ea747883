// Windows: the user's files go in the roaming application-data folder (%APPDATA%), where
// JUCE, and so the library application, keeps its own. Asked of the system, not read from
// the environment: Windows itself does not look there.

#include "HomeFolder.h"

#include <algorithm>

#include <shlobj.h>
#include <windows.h>

#include "WideText.h"

namespace home_folder
{
std::string path()
{
    PWSTR folder = nullptr;
    std::string utf8;

    if (SUCCEEDED (::SHGetKnownFolderPath (FOLDERID_RoamingAppData, KF_FLAG_DONT_VERIFY, nullptr, &folder)) && folder != nullptr)
        utf8 = wide_text::toUtf8 (folder);

    ::CoTaskMemFree (folder);

    // One separator in every path the programs make and print, as on the other systems; the
    // system's file APIs take it as they take a backslash.
    std::replace (utf8.begin(), utf8.end(), '\\', '/');
    return utf8;
}
} // namespace home_folder
