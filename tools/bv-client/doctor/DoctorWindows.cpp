// The doctor on Windows: the DLL in REAPER's UserPlugins folder (PE32+ x86-64, exporting
// ReaperPluginEntry, importing Windows' own DLLs alone), the log in %APPDATA%\Belvanta, and
// the named pipe: served by the extension, busy, absent, or owned by another process.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "DoctorChecks.h"
#include "DoctorPlatform.h"
#include "LogLocation.h"
#include "PeFile.h"
#include "PipeContract.h"
#include "WideText.h"

namespace doctor
{
namespace
{
using Status = Check::Status;

Check checkDll (const std::string& module)
{
    std::string error;
    const auto info = pe_file::read (module, error);

    if (!info)
        return failed ("architecture", "the module is " + error, "reinstall it: the file is damaged or not a module");

    if (info->machine != pe_file::kMachineX86_64 || !info->pe32Plus)
        return failed ("architecture", "the module is built for " + pe_file::machineName (info->machine) + (info->pe32Plus ? "" : " (PE32)") + ", REAPER here is x86-64",
                       "install the module built for Windows x64");

    if (std::find (info->exports.begin(), info->exports.end(), "ReaperPluginEntry") == info->exports.end())
        return failed ("architecture", "the module does not export ReaperPluginEntry: REAPER would pass it over", "reinstall the release DLL");

    return passed ("architecture", "PE32+ x86-64, exports ReaperPluginEntry");
}

Check checkImports (const std::string& module)
{
    const auto report = doctor_platform::findLibraries (module);

    if (!report.checked)
        return notChecked ("libraries", report.note);

    if (!report.missing.empty())
        return failed ("libraries", "imports DLLs beyond Windows' own: " + joined (report.missing) + " (REAPER would not load it)",
                       "install the release DLL, which needs Windows' own DLLs alone");

    return passed ("libraries", "Windows' own DLLs alone: " + joined (report.found, " "));
}

// Who serves the pipe, and whether the access list is the extension's (the user and SYSTEM).
struct Server
{
    ULONG processId = 0;
    std::string program;
    bool ownersOnly = false;
};

std::string programOf (ULONG processId)
{
    const HANDLE process = ::OpenProcess (PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const bool known = process != nullptr && ::QueryFullProcessImageNameW (process, 0, path, &size);

    if (process != nullptr)
        ::CloseHandle (process);

    const auto utf8 = known ? wide_text::toUtf8 (path) : std::string ("unknown program");
    return utf8.substr (utf8.find_last_of ("\\/") + 1);
}

bool grantsOwnersOnly (HANDLE pipe)
{
    std::vector<BYTE> descriptor (4096), token (256);
    DWORD size = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    HANDLE process = nullptr;

    if (!::GetKernelObjectSecurity (pipe, DACL_SECURITY_INFORMATION, descriptor.data(), 4096, &size)
        || !::GetSecurityDescriptorDacl (descriptor.data(), &present, &dacl, &defaulted) || !present || dacl == nullptr || dacl->AceCount != 2
        || !::OpenProcessToken (::GetCurrentProcess(), TOKEN_QUERY, &process))
        return false;

    const bool known = ::GetTokenInformation (process, TokenUser, token.data(), 256, &size);
    ::CloseHandle (process);
    void* user = nullptr;
    void* system = nullptr;

    return known && ::GetAce (dacl, 0, &user) && ::GetAce (dacl, 1, &system)
           && ::EqualSid (&static_cast<ACCESS_ALLOWED_ACE*> (user)->SidStart, reinterpret_cast<TOKEN_USER*> (token.data())->User.Sid)
           && ::IsWellKnownSid (&static_cast<ACCESS_ALLOWED_ACE*> (system)->SidStart, WinLocalSystemSid);
}

Check checkPipe (const Options& options)
{
    const auto path = pipe_contract::windowsPipePath (options.pipeName);
    const auto wide = wide_text::fromUtf8 (path);

    // As JUCE's client opens it, tried again every 1 ms while every instance is busy.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (options.timeoutMs);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    DWORD error = 0;

    for (;;)
    {
        pipe = ::CreateFileW (wide.c_str(), GENERIC_READ | GENERIC_WRITE | READ_CONTROL, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        error = pipe == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;

        if (error != ERROR_PIPE_BUSY || std::chrono::steady_clock::now() >= deadline)
            break;

        ::Sleep (1);
    }

    if (error == ERROR_FILE_NOT_FOUND)
        return absent ("pipe", "there is no " + path + ": REAPER is not running with the extension", "start REAPER");

    if (error == ERROR_PIPE_BUSY)
    {
        auto check = failed ("pipe", path + " is there, but every instance stayed busy for " + std::to_string (options.timeoutMs) + " ms",
                             "close some of the programs connected to it, or try again with a longer --timeout");
        check.cause = "the pipe is busy: " + check.advice;
        return check;
    }

    if (error != 0)
        return failed ("pipe", path + " cannot be opened: Windows error " + std::to_string (error),
                       error == ERROR_ACCESS_DENIED ? "it is not open to this user: another user's program took its name; quit it, then restart REAPER"
                                                    : "restart REAPER");

    Server server;
    ::GetNamedPipeServerProcessId (pipe, &server.processId);
    server.program = programOf (server.processId);
    server.ownersOnly = grantsOwnersOnly (pipe);
    ::CloseHandle (pipe);

    const auto serverName = "process " + std::to_string (server.processId) + " (" + server.program + ")";

    if (!server.ownersOnly)
    {
        auto check = failed ("pipe", path + " is served by " + serverName + ", not by the extension: its access list is not the extension's (this user and SYSTEM alone)",
                             "quit that program, which took the pipe's name; a running REAPER serves within 2 s once the name is free");
        check.cause = "another program owns the pipe's name, " + serverName + ": " + check.advice;
        return check;
    }

    return passed ("pipe", path + " served by " + serverName + ", open to this user and SYSTEM alone");
}
} // namespace

std::vector<Check> runChecks (const Options& options)
{
    std::vector<Check> checks;
    std::string module;

    checks.push_back (findModule (options.pluginsFolder.empty() ? doctor_platform::defaultPluginsFolder() : options.pluginsFolder, module));

    if (module.empty())
    {
        checks.push_back (notChecked ("architecture", "not checked: no module"));
        checks.push_back (notChecked ("libraries", "not checked: no module"));
    }
    else
    {
        checks.push_back (checkDll (module));
        checks.push_back (checks.back().status == Status::fail ? notChecked ("libraries", "not checked: the module cannot be loaded anyway")
                                                               : checkImports (module));
    }

    checks.push_back (checkLogFile (log_location::path(), {}, {}));
    checks.push_back (checkPipe (options));

    if (checks.back().status == Status::pass)
        checks.push_back (roundTrip (options));
    else
        checks.push_back (failed ("round trip", "not tried: the pipe is not the extension's to use", "see the pipe line"));

    return checks;
}

std::string verdict (const std::vector<Check>& checks)
{
    const auto failedCheck = [&] (const std::string& name)
    { return doctor::failedCheck (checks, name); };

    if (const auto fromModule = moduleVerdict (checks); !fromModule.empty())
        return fromModule;

    if (const auto* pipe = failedCheck ("pipe"))
        return pipe->absent ? "REAPER is not running with the extension" : !pipe->cause.empty() ? pipe->cause
                                                                                                : "the pipe cannot be used: " + pipe->advice;

    if (const auto* trip = failedCheck ("round trip"))
        return !trip->cause.empty() ? trip->cause : "the extension does not answer";

    if (failedCheck ("log") != nullptr)
        return "the extension answers, but its log does not show it started as expected";

    return "all checks passed: the extension is installed and answering";
}
} // namespace doctor
