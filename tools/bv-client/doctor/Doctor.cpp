#include "Doctor.h"

#include <cerrno>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "DoctorChecks.h"
#include "DoctorPlatform.h"
#include "ElfFile.h"
#include "FifoTrust.h"
#include "LogCheck.h"
#include "LogLocation.h"
#include "LogTexts.h"
#include "OwnFile.h"
#include "PipeContract.h"
#include "RegularFile.h"

namespace doctor
{
namespace
{
namespace fs = std::filesystem;
using Status = Check::Status;

Check checkArchitecture (const std::string& module)
{
    std::string error;
    const auto info = elf_file::read (module, error);

    if (!info)
        return error.find ("Mach-O") != std::string::npos ? notChecked ("architecture", "not checked (a Mach-O module)")
                                                          : failed ("architecture", "the module is " + error, "reinstall it: the file is damaged or not a module");

    const auto module_ = elf_file::machineName (info->machine, info->is64Bit);
    const auto machine = elf_file::machineName (elf_file::thisMachine(), elf_file::thisIs64Bit());

    if (info->machine != elf_file::thisMachine() || info->is64Bit != elf_file::thisIs64Bit())
        return failed ("architecture", "the module is built for " + module_ + ", this machine is " + machine, "install the module built for " + machine);

    return passed ("architecture", module_ + ", as this machine");
}

Check checkLibraries (const std::string& module)
{
    const auto report = doctor_platform::findLibraries (module);

    if (!report.checked)
        return notChecked ("libraries", report.note);

    if (!report.missing.empty())
        return failed ("libraries", "not found: " + joined (report.missing) + " (REAPER would refuse the module)",
                       "install them with the system's package manager, or install the self-contained release module");

    return passed ("libraries", "all " + std::to_string (report.found.size()) + " found: " + joined (report.found, " "));
}

// Empty when the extension may write to the file at the path (or nothing is there), else why
// it refuses it: its rule for the files it writes at fixed names (OwnFile.h), in words that
// name what is there. Links are never followed.
std::string whyNotOwn (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0)
        return {};

    if (S_ISLNK (info.st_mode))
    {
        char target[4096];
        const auto length = ::readlink (path.c_str(), target, sizeof (target) - 1);
        return "is a symbolic link" + (length > 0 ? " to " + std::string (target, static_cast<std::size_t> (length)) : std::string());
    }

    if (own_file::whyNot (info).empty())
        return {};
    if (!S_ISREG (info.st_mode))
        return "is " + fifo_trust::kindOf (info.st_mode) + ", not a regular file";
    if (info.st_uid != geteuid())
        return "belongs to another user (" + fifo_trust::userName (info.st_uid) + ")";

    return "has other names (hard links)";
}

bool exists (const std::string& path)
{
    struct stat info;
    return ::lstat (path.c_str(), &info) == 0;
}

// When the file was last written; the earliest time when it cannot be told.
fs::file_time_type modified (const std::string& path)
{
    std::error_code error;
    const auto time = fs::last_write_time (path, error);
    return error ? fs::file_time_type::min() : time;
}

// Which file the extension logs to: its log, or the file of its own beside it, used while
// what is at the log's path is refused (and kept by the REAPER that started so until it quits).
struct LogFiles
{
    std::string path;     // the log's usual path
    std::string own;      // the file beside it
    std::string inTheWay; // why path is refused, if it is
    bool readOwn = false;
};

LogFiles findLogFiles()
{
    LogFiles files;
    files.path = log_location::path();
    files.own = log_texts::besidePath (files.path);
    files.inTheWay = whyNotOwn (files.path);

    const bool ownUsable = exists (files.own) && whyNotOwn (files.own).empty();

    // A REAPER started while the log's path was refused writes beside it still, after that
    // was removed: the file written last is the one in use.
    files.readOwn = !files.inTheWay.empty() || (ownUsable && (!exists (files.path) || modified (files.own) > modified (files.path)));
    return files;
}

// Why the extension refuses the log's folder, by its rule (OwnFile.h), and what to do about
// it; nothing when it does not. Refused, it logs to standard error only.
struct FolderRefusal
{
    std::string why, advice;
};

FolderRefusal whyFolderRefused (const std::string& folder)
{
    struct stat info;

    if (::lstat (folder.c_str(), &info) != 0)
    {
        const auto why = errno == ENOENT ? own_file::whyNotMade (folder) : std::string();
        struct stat in;

        if (why.empty() || ::stat (own_file::nearestExisting (folder).c_str(), &in) != 0)
            return {};

        return {why, "run REAPER as " + fifo_trust::userName (in.st_uid) + ", whose folder that is, or as " + fifo_trust::userName (geteuid())
                         + " with a HOME of its own (sudo -H)"};
    }

    // Anything else in the way the extension tries again, and the log check finds no log.
    const auto why = S_ISLNK (info.st_mode) || S_ISDIR (info.st_mode) ? own_file::whyNotFolder (info) : std::string();

    if (why.empty())
        return {};

    if (S_ISLNK (info.st_mode))
        return {why, "remove the link (rm " + folder + "): the extension makes the folder with its next line"};

    const auto owner = fifo_trust::userName (info.st_uid);
    return {why, "run REAPER as " + owner + ", or have " + owner + " or root remove it (rm -r " + folder + ")"};
}

Check checkLog (const std::string& lockPath)
{
    const auto folder = fs::path (log_location::path()).parent_path().string();

    if (const auto refused = whyFolderRefused (folder); !refused.why.empty())
    {
        auto check = failed ("log", "the extension logs to standard error only, since its folder is refused: \"" + std::string (log_texts::kLogFileNotUsed) + folder + " " + refused.why + "\"",
                             refused.advice);
        check.cause = "it logs to standard error only, since its folder " + folder + " " + refused.why + ": " + refused.advice;
        return check;
    }

    const auto files = findLogFiles();

    if (files.readOwn)
    {
        auto check = checkLogFile (files.own, lockPath, whyNotOwn (lockPath));
        const auto ownRefused = whyNotOwn (files.own);

        if (files.inTheWay.empty())
        {
            check.detail += " (read from " + files.own + ": the running REAPER logs there, since " + files.path + " was in the way when it started; from its next start the log is "
                            + files.path + " again)";
            return check;
        }

        const auto opening = "the log " + files.path + " " + files.inTheWay;
        const auto removal = "remove it (rm -r " + files.path + "): REAPER's next start logs there again";

        if (!ownRefused.empty())
            return failed ("log", opening + ", and " + files.own + " " + ownRefused + ": the extension logs to standard error only",
                           "remove both (rm -r " + files.path + " " + files.own + "), then restart REAPER");

        if (!exists (files.own))
            return failed ("log", opening + ", and there is no " + files.own + ": the extension has not started since it was put there", removal);

        auto advice = removal + "; until then it logs to " + files.own + (check.advice.empty() ? "" : "; " + check.advice);
        check.status = Status::fail;
        check.detail = opening + ", so the extension logs to " + files.own + " instead, which says: " + check.detail;
        check.cause = "its log is " + files.own + ", since " + files.path + " " + files.inTheWay + ": " + advice;
        check.advice = std::move (advice);
        return check;
    }

    return checkLogFile (files.path, lockPath, whyNotOwn (lockPath));
}

Check checkPipeFiles (const std::string& lockPath, const std::vector<std::string>& paths)
{
    // A lock file planted before REAPER started keeps every REAPER from serving, so that the
    // FIFOs are missing as if REAPER were not running.
    if (struct stat info; ::lstat (lockPath.c_str(), &info) == 0)
        if (const auto reason = whyNotOwn (lockPath); !reason.empty())
        {
            const bool ours = info.st_uid == geteuid();
            auto check = failed ("pipe files", lockPath + " " + reason + ": no REAPER can serve the pipe while it is there (the log says \"" + log_texts::kPipeNotCreated + lockPath + " ...\")",
                                 (ours ? "delete it" : "have its owner (" + fifo_trust::userName (info.st_uid) + ") or root delete it") + std::string (": rm -r ") + lockPath
                                     + "; REAPER serves within 2 s once the name is free");
            check.cause = "a file planted at " + lockPath + " keeps REAPER from serving the pipe: " + check.advice;
            return check;
        }

    for (const auto& path : paths)
    {
        const auto verdict = fifo_trust::checkPath (path);

        if (verdict.state == fifo_trust::Verdict::State::missing)
            return absent ("pipe files", "there is no " + path + ": REAPER is not running with the extension", "start REAPER");

        if (!verdict.trusted())
            return failed ("pipe files", path + " " + verdict.reason,
                           "the extension refuses it too: remove it if it is yours (or have its owner remove it); a running REAPER makes the pipe within 2 s once the name is free");
    }

    return passed ("pipe files", joined (paths, " and ") + ": FIFOs of " + fifo_trust::userName (geteuid()) + ", closed to others");
}

std::string describe (const std::vector<doctor_platform::Holder>& holders)
{
    std::vector<std::string> words;

    for (const auto& holder : holders)
        words.push_back (std::to_string (holder.pid) + " " + holder.name);

    return joined (words);
}

// Which REAPER serves: the one holding the lock on the lock file; the others with the
// extension keep the file open and wait for it.
std::string servingNote (const std::string& lockPath, int serverPid)
{
    const auto owner = doctor_platform::lockHolder (lockPath);
    std::vector<doctor_platform::Holder> waiting;

    for (const auto& holder : doctor_platform::holdersOf (lockPath).holders)
        if (holder.pid != owner)
            waiting.push_back (holder);

    std::string note;

    if (owner != 0 && owner == serverPid)
        note = " and holds " + lockPath + ", so it serves";
    else if (owner != 0)
        note = "; process " + std::to_string (owner) + " holds " + lockPath;

    if (!waiting.empty())
        note += "; waiting to serve: " + describe (waiting);

    return note;
}

Check checkHolders (const std::string& lockPath, const std::string& requestPath, const std::string& replyPath)
{
    const auto requests = doctor_platform::holdersOf (requestPath);
    const auto replies = doctor_platform::holdersOf (replyPath);

    if (!requests.checked)
        return notChecked ("holders", requests.note);

    std::vector<doctor_platform::Holder> servers, clients;

    for (const auto& holder : requests.holders)
        if (holder.reads)
            servers.push_back (holder);

    for (const auto& holder : replies.holders)
        if (holder.reads)
            clients.push_back (holder);

    if (servers.empty())
        return absent ("holders", "nothing reads " + requestPath + ": the FIFOs are stale, left by a REAPER that quit without removing them (killed?)",
                       "start REAPER (it reuses them); with REAPER closed, deleting both is safe too");

    if (servers.size() > 1)
        return failed ("holders", std::to_string (servers.size()) + " processes read " + requestPath + " (" + describe (servers) + "): each gets only part of the requests",
                       "quit all but one REAPER");

    if (clients.size() > 1)
        return failed ("holders", std::to_string (clients.size()) + " processes read " + replyPath + " (" + describe (clients) + "): each gets only part of the replies",
                       "close all but one client of the pipe");

    return passed ("holders", "REAPER " + describe (servers) + " reads the requests" + servingNote (lockPath, servers.front().pid)
                                  + (clients.empty() ? std::string() : "; client " + describe (clients)));
}

// What the log in use says of a request stopped in the middle, if anything.
std::string stalledPacketInLog()
{
    const auto files = findLogFiles();
    const auto file = regular_file::readTail (files.readOwn ? files.own : files.path, log_check::kMostBytesRead);
    return file.status == regular_file::Opened::Status::open ? log_check::readLog (file.bytes).stalledPacket : std::string();
}

// A round trip that failed: names the programs that have the request FIFO open for writing
// (besides the readers: REAPER holds it so while idle), and a request the log says stopped
// in the middle, which holds up the requests written behind it.
Check unanswered (std::string detail, const std::string& requestPath)
{
    const auto scan = doctor_platform::holdersOf (requestPath);
    std::vector<doctor_platform::Holder> writers;

    for (const auto& holder : scan.holders)
        if (holder.writes && !holder.reads && holder.pid != ::getpid())
            writers.push_back (holder);

    if (!scan.checked)
        detail += "; who has " + requestPath + " open for writing: " + scan.note;
    else if (!writers.empty())
        detail += "; " + requestPath + " is open for writing in " + describe (writers);

    const auto named = writers.empty() ? std::string() : " (" + describe (writers) + ")";

    if (const auto stalled = stalledPacketInLog(); !stalled.empty())
    {
        auto check = failed ("round trip", detail + "; the log says \"" + stalled + "\"",
                             "quit the program that holds the request FIFO open in the middle of a packet" + named + ", then try again");
        check.cause = "a program holds the request FIFO open in the middle of a packet" + named + ": quit it";
        return check;
    }

    if (!writers.empty())
    {
        auto check = failed ("round trip", detail,
                             "quit " + describe (writers) + " if it is not the library application: a program stopped in the middle of a packet holds up the requests behind it; "
                                                            "else is REAPER busy (a dialog open)? Try again with a longer --timeout");
        check.cause = "the extension does not answer while " + describe (writers) + " holds the request FIFO open for writing: quit it if it is not the library application";
        return check;
    }

    return unansweredPlainly (std::move (detail));
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
        checks.push_back (checkArchitecture (module));
        checks.push_back (checks.back().status == Status::fail ? notChecked ("libraries", "not checked: the module is for another machine")
                                                               : checkLibraries (module));
    }

    const auto requestPath = pipe_contract::requestFifoPath (options.pipeName);
    const auto replyPath = pipe_contract::replyFifoPath (options.pipeName);
    const auto lockPath = pipe_contract::servingLockPath (options.pipeName);
    checks.push_back (checkLog (lockPath));
    checks.push_back (checkPipeFiles (lockPath, {requestPath, replyPath}));

    if (checks.back().status != Status::pass)
    {
        checks.push_back (notChecked ("holders", "not checked: no usable pipe files"));
        checks.push_back (failed ("round trip", "not tried: no usable pipe files", "see the pipe files line"));
        return checks;
    }

    checks.push_back (checkHolders (lockPath, requestPath, replyPath));

    if (checks.back().absent)
        checks.push_back (failed ("round trip", "not tried: nothing reads the requests", "see the holders line"));
    else
        checks.push_back (roundTrip (options, [&] (std::string detail)
                                     { return unanswered (std::move (detail), requestPath); }));

    return checks;
}

std::string verdict (const std::vector<Check>& checks)
{
    const auto failedCheck = [&] (const std::string& name)
    { return doctor::failedCheck (checks, name); };

    if (const auto fromModule = moduleVerdict (checks); !fromModule.empty())
        return fromModule;

    if (const auto* pipe = failedCheck ("pipe files"))
        return !pipe->cause.empty() ? pipe->cause
               : pipe->absent       ? "REAPER is not running with the extension"
                                    : "the pipe's files are not this user's own FIFOs: the extension cannot serve them";

    if (const auto* holders = failedCheck ("holders"))
        return holders->absent ? "the FIFOs are stale: REAPER is not running (it quit without removing them)"
                               : "more than one process shares the pipe";

    if (const auto* trip = failedCheck ("round trip"))
        return !trip->cause.empty() ? trip->cause : "the extension does not answer";

    if (const auto* log = failedCheck ("log"))
        return !log->cause.empty() ? "the extension answers, but " + log->cause : "the extension answers, but its log does not show it started as expected";

    return "all checks passed: the extension is installed and answering";
}

} // namespace doctor
