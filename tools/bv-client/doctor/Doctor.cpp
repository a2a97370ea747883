#include "Doctor.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "ClientLock.h"
#include "ClientRequests.h"
#include "DoctorPlatform.h"
#include "ElfFile.h"
#include "FifoTrust.h"
#include "LogCheck.h"
#include "LogLocation.h"
#include "LogTexts.h"
#include "OwnFile.h"
#include "PipeClient.h"
#include "PipeContract.h"
#include "RegularFile.h"
#include "RequestRunner.h"

namespace doctor
{
namespace
{
namespace fs = std::filesystem;
using Status = Check::Status;

Check passed (const char* name, std::string detail)
{
    return {name, Status::pass, std::move (detail), {}};
}

Check failed (const char* name, std::string detail, std::string advice)
{
    return {name, Status::fail, std::move (detail), std::move (advice)};
}

Check absent (const char* name, std::string detail, std::string advice)
{
    auto check = failed (name, std::move (detail), std::move (advice));
    check.absent = true;
    return check;
}

Check notChecked (const char* name, std::string detail)
{
    return {name, Status::notChecked, std::move (detail), {}};
}

std::string joined (const std::vector<std::string>& words, const char* separator = ", ")
{
    std::string text;

    for (const auto& word : words)
        text += (text.empty() ? "" : separator) + word;

    return text;
}

// The module's file: its name starts with reaper_belvanta (a release file may carry the
// system in its name) and ends as the system's libraries do.
Check findModule (const std::string& folder, std::string& module)
{
    std::error_code error;

    if (!fs::is_directory (folder, error))
        return absent ("module", "there is no folder " + folder,
                       "is REAPER installed and started once as this user? For a portable REAPER give its folder: --plugins DIR");

    std::vector<std::string> found;

    for (auto entry = fs::directory_iterator (folder, error); !error && entry != fs::directory_iterator(); entry.increment (error))
    {
        const auto name = entry->path().filename().string();
        const auto suffix = doctor_platform::moduleSuffix();

        if (name.rfind ("reaper_belvanta", 0) == 0 && name.size() > suffix.size() && name.compare (name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back (entry->path().string());
    }

    if (found.empty())
        return absent ("module", "no reaper_belvanta_extension" + doctor_platform::moduleSuffix() + " in " + folder,
                       "install it there (README: Installing into REAPER), then restart REAPER");

    // A FIFO by that name would block whoever opens it, REAPER at start-up included.
    for (const auto& path : found)
        if (const auto opened = regular_file::open (path); opened.status == regular_file::Opened::Status::notRegular)
        {
            struct stat info;
            const bool fifo = ::stat (path.c_str(), &info) == 0 && S_ISFIFO (info.st_mode);
            auto check = failed ("module", path + " " + opened.problem,
                                 "remove it (rm -r " + path + ")" + (fifo ? ": REAPER may hang at start-up opening it" : ": REAPER cannot load it")
                                     + "; then install the module file");
            check.cause = path + " " + opened.problem + ", among REAPER's modules: " + check.advice;
            return check;
        }

    if (found.size() > 1)
        return failed ("module", std::to_string (found.size()) + " copies: " + joined (found),
                       "keep one: REAPER loads each, and only the first can serve the pipe");

    module = found.front();
    return passed ("module", module);
}

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

Check checkLogFile (const std::string& path, const std::string& lockPath)
{
    const auto file = regular_file::readTail (path, log_check::kMostBytesRead);

    if (file.status == regular_file::Opened::Status::missing)
        return failed ("log", "no log at " + path + ": the extension has never started as this user",
                       "put the module in UserPlugins and start REAPER as this user");

    if (file.status != regular_file::Opened::Status::open)
        return failed ("log", "the log " + path + " " + file.problem,
                       "remove it: the extension makes its log again, as a file, with its next line");

    const auto log = log_check::readLog (file.bytes);
    auto when = log.started.empty() ? std::string (" (the log was trimmed since; the start is no longer in it)") : " (" + log.started + ")";

    if (!log.waitingStarted.empty())
        when += "; a REAPER started later waits: \"" + log.waitingDetail + "\" (" + log.waitingStarted + ")";

    switch (log.state)
    {
        case log_check::Verdict::State::serving:
            return passed ("log", "the serving start made the pipe: \"" + log.detail + "\"" + when);
        case log_check::Verdict::State::waiting:
            // A cut log's head line does not tell a refused lock file from another REAPER's lock.
            if (const auto refused = whyNotOwn (lockPath); !refused.empty())
                return failed ("log", "the last start could not take the lock: " + lockPath + " " + refused + " (\"" + log.detail + "\")" + when,
                               "see the pipe files line, which names what to remove");

            return passed ("log", "the last start waits for the REAPER that serves: \"" + log.detail + "\"" + when
                                      + "; the serving one's start is no longer in the log");
        case log_check::Verdict::State::quit:
            return failed ("log", "REAPER unloaded the extension after its last start (\"" + std::string (log_texts::kDeletingInstance) + "\")" + when, "start REAPER");
        case log_check::Verdict::State::noPipe:
            return failed ("log", "the last start could not make the pipe: \"" + log.detail + "\"" + when,
                           "remove what is in the way (the reason names it, and so does the pipe files line): a running REAPER makes the pipe within 2 s once the name is free");
        case log_check::Verdict::State::noStart:
            return failed ("log", path + " records no start", "start REAPER with the module in UserPlugins");
        case log_check::Verdict::State::unknown:
            break;
    }

    if (log.started.empty())
        return notChecked ("log", "the log was trimmed since the last start, and what is left says neither \"" + std::string (log_texts::kPipeCreated) + "\" nor \""
                                      + std::string (log_texts::kPipeNotCreated) + "...\"");

    return failed ("log", "the last start" + when + " says neither \"" + log_texts::kPipeCreated + "\" nor \"" + log_texts::kPipeNotCreated + "...\"; its last line: \"" + log.detail + "\"",
                   "read " + path + ": REAPER may still be starting or have been killed; a log removed while REAPER ran is made again with the same banner and without the start's lines");
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
        auto check = checkLogFile (files.own, lockPath);
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

    return checkLogFile (files.path, lockPath);
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

    return failed ("round trip", detail, "is REAPER busy (a dialog open)? Try again with a longer --timeout");
}

Check roundTrip (const Options& options, const std::string& requestPath)
{
    // bv-client's own lock in the way is not the extension's fault.
    const auto clientLock = ClientLock::pathFor (options.pipeName);

    if (const auto reason = ClientLock::whyRefused (clientLock); !reason.empty())
    {
        auto check = failed ("round trip", "not tried: bv-client's lock file " + clientLock + " " + reason, "delete it (rm -r " + clientLock + "); bv-client makes its own");
        check.cause = "bv-client's own lock file " + clientLock + " is in the way: " + check.advice;
        return check;
    }

    ClientPlan plan;
    plan.pipeName = options.pipeName;
    plan.timeoutMs = options.timeoutMs;
    PendingRequest request;
    request.message = client_requests::simple (BVReaper::ClientMessage::VERSION_REQUEST);
    plan.requests.push_back (request);

    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    const auto exitCode = runRequests (plan, out, err);
    const auto took = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - start).count();

    auto answer = out.str();
    auto problem = err.str();

    while (!answer.empty() && answer.back() == '\n')
        answer.pop_back();

    while (!problem.empty() && problem.back() == '\n')
        problem.pop_back();

    char time[32];
    std::snprintf (time, sizeof (time), "%.1f ms", took);

    if (exitCode != 0 || answer.rfind ("reaper ext", 0) != 0)
        return unanswered ("version request: " + (problem.empty() ? "\"" + answer + "\"" : problem) + " (after " + time + ")", requestPath);

    return passed ("round trip", "version request answered \"" + answer + "\" in " + time);
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
        checks.push_back (roundTrip (options, requestPath));

    return checks;
}

std::string verdict (const std::vector<Check>& checks)
{
    const auto failedCheck = [&] (const std::string& name) -> const Check*
    {
        for (const auto& check : checks)
            if (check.name == name && check.status == Status::fail)
                return &check;

        return nullptr;
    };

    if (const auto* module = failedCheck ("module"))
        return module->absent           ? "not installed: the extension is not in REAPER's UserPlugins folder"
               : !module->cause.empty() ? module->cause
                                        : "installed twice: remove all copies but one";

    if (failedCheck ("architecture") != nullptr || failedCheck ("libraries") != nullptr)
        return "installed, but REAPER cannot load it on this machine";

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

int runDoctor (const Options& options, std::ostream& out)
{
    const auto checks = runChecks (options);
    bool anyFailed = false;

    for (const auto& check : checks)
    {
        const char* mark = check.status == Status::pass ? "ok  " : check.status == Status::fail ? "FAIL"
                                                                                                : "--  ";
        char name[16];
        std::snprintf (name, sizeof (name), "%-12s", check.name.c_str());
        out << mark << "  " << name << "  " << check.detail;

        if (check.status == Status::fail)
            out << "; to do: " << check.advice;

        out << "\n";
        anyFailed = anyFailed || check.status == Status::fail;
    }

    out << "verdict: " << verdict (checks) << std::endl;
    return anyFailed ? 1 : 0;
}
} // namespace doctor
