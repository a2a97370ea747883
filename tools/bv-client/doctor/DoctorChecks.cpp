#include "DoctorChecks.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>

#include <sys/stat.h>

#include "ClientLock.h"
#include "ClientRequests.h"
#include "DoctorPlatform.h"
#include "LogCheck.h"
#include "LogTexts.h"
#include "RegularFile.h"
#include "RequestRunner.h"

namespace doctor
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

std::string joined (const std::vector<std::string>& words, const char* separator)
{
    std::string text;

    for (const auto& word : words)
        text += (text.empty() ? "" : separator) + word;

    return text;
}

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

Check checkLogFile (const std::string& path, const std::string& lockPath, const std::string& lockRefused)
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
            if (!lockRefused.empty())
                return failed ("log", "the last start could not take the lock: " + lockPath + " " + lockRefused + " (\"" + log.detail + "\")" + when,
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

Check unansweredPlainly (std::string detail)
{
    return failed ("round trip", std::move (detail), "is REAPER busy (a dialog open)? Try again with a longer --timeout");
}

Check roundTrip (const Options& options, const std::function<Check (std::string detail)>& unanswered)
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
        return unanswered ("version request: " + (problem.empty() ? "\"" + answer + "\"" : problem) + " (after " + time + ")");

    return passed ("round trip", "version request answered \"" + answer + "\" in " + time);
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
const Check* failedCheck (const std::vector<Check>& checks, const std::string& name)
{
    for (const auto& check : checks)
        if (check.name == name && check.status == Status::fail)
            return &check;

    return nullptr;
}

std::string moduleVerdict (const std::vector<Check>& checks)
{
    if (const auto* module = failedCheck (checks, "module"))
        return module->absent           ? "not installed: the extension is not in REAPER's UserPlugins folder"
               : !module->cause.empty() ? module->cause
                                        : "installed twice: remove all copies but one";

    if (failedCheck (checks, "architecture") != nullptr || failedCheck (checks, "libraries") != nullptr)
        return "installed, but REAPER cannot load it on this machine";

    return std::string();
}
} // namespace doctor
