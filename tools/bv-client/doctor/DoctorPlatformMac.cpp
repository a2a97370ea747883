#include "DoctorPlatform.h"

#include "HomeFolder.h"

namespace doctor_platform
{
std::string defaultPluginsFolder()
{
    return home_folder::path() + "/Library/Application Support/REAPER/UserPlugins";
}

std::string moduleSuffix()
{
    return ".dylib";
}

LibraryReport findLibraries (const std::string&)
{
    LibraryReport report;
    report.note = "not checked on macOS (otool -L lists them)";
    return report;
}

HolderScan holdersOf (const std::string&)
{
    HolderScan scan;
    scan.note = "not checked on macOS (lsof shows them)";
    return scan;
}

int lockHolder (const std::string&)
{
    return 0;
}
} // namespace doctor_platform
