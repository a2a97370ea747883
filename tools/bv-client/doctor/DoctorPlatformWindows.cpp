// Windows: REAPER keeps its plug-ins in %APPDATA%\REAPER\UserPlugins, loads them with
// LoadLibrary, and a DLL that needs anything beyond Windows' own DLLs (a MinGW runtime DLL,
// say) silently does not load. The pipe's holders are not files here: the Windows doctor
// asks the pipe itself who serves it (DoctorWindows.cpp).

#include "DoctorPlatform.h"

#include "HomeFolder.h"
#include "PeFile.h"

namespace doctor_platform
{
std::string defaultPluginsFolder()
{
    return home_folder::path() + "/REAPER/UserPlugins";
}

std::string moduleSuffix()
{
    return ".dll";
}

LibraryReport findLibraries (const std::string& modulePath)
{
    LibraryReport report;
    std::string error;
    const auto module = pe_file::read (modulePath, error);

    if (!module)
    {
        report.note = "not checked: the module is " + error;
        return report;
    }

    report.checked = true;

    for (const auto& name : module->imports)
        (pe_file::isSystemDll (name) ? report.found : report.missing).push_back (name);

    return report;
}
} // namespace doctor_platform
