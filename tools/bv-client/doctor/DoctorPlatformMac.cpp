#include "DoctorPlatform.h"

#include <cstdlib>

#include "LogTexts.h"

namespace doctor_platform
{
namespace
{
std::string home()
{
    const char* value = std::getenv ("HOME");
    return value != nullptr ? value : "";
}
} // namespace

std::string defaultPluginsFolder()
{
    return home() + "/Library/Application Support/REAPER/UserPlugins";
}

std::string logFile()
{
    return home() + "/Library/Logs/" + log_texts::kLogFolderName + "/" + log_texts::kLogFileName;
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
