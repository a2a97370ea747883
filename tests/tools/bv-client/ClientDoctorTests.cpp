// bv-client doctor's verdicts on installations that are broken in one way each. The
// checks run in this process, with a temporary HOME and a pipe name of its own; the module is the one this build made, or a copy altered in one field.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "ClientEnvironment.h"
#include "ClientLock.h"
#include "ClientRuns.h"
#include "Doctor.h"
#include "DoctorPlatform.h"
#include "ElfFile.h"
#include "FifoTrust.h"
#include "LogCheck.h"
#include "LogLocation.h"
#include "LogTexts.h"
#include "PeFile.h"
#include "RegularFile.h"
#include "ScopedVariable.h"
#include "Subprocess.h"
#include "TemporaryHome.h"

using doctor::Check;
namespace fs = std::filesystem;

namespace
{
void writeBytes (const std::string& path, const std::string& bytes)
{
    std::ofstream (path, std::ios::binary) << bytes;
}

// The doctor finds no REAPER folder and no log but those a test makes.
class DoctorTest : public testing::Test
{
public:
    void SetUp() override
    {
        temporaryHome = std::make_unique<testing_support::TemporaryHome>();
        home = temporaryHome->path();
        ASSERT_FALSE (home.empty());
        options.pipeName = "bv_doctor_test_" + std::to_string (getpid());
        options.timeoutMs = 300;
        plugins = home / ".config" / "REAPER" / "UserPlugins";
    }

    void TearDown() override
    {
        writer.reset();

        if (reader >= 0)
            ::close (reader);

        reader = -1;
        unlink (requestPath().c_str());
        unlink (replyPath().c_str());

        std::error_code ignored;
        fs::remove_all (lockPath(), ignored);
        fs::remove_all (lockPath() + ".other", ignored);
        fs::remove_all (ClientLock::pathFor (options.pipeName), ignored);
        temporaryHome.reset();
    }

    // The file whose lock the serving REAPER holds.
    std::string lockPath() const
    {
        return "/tmp/" + options.pipeName + ".lock";
    }

    // FIFOs as a serving REAPER leaves them, with this process reading the requests.
    void serve()
    {
        ASSERT_EQ (mkfifo (requestPath().c_str(), 0600), 0);
        ASSERT_EQ (mkfifo (replyPath().c_str(), 0600), 0);
        reader = ::open (requestPath().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE (reader, 0);
    }

    // A forked child holds copies of this process's descriptors until it runs its program, so
    // waits for the program itself (by name) to have the file open, not merely for a second holder.
    static void waitUntilHeldBy (const std::string& path, const std::string& program)
    {
        for (int i = 0; i < 1000; ++i)
        {
            for (const auto& holder : doctor_platform::holdersOf (path).holders)
                if (holder.name == program)
                    return;
            usleep (2000);
        }
        FAIL() << program << " never opened " << path;
    }

    std::string requestPath() const
    {
        return "/tmp/" + options.pipeName + "_in";
    }

    std::string replyPath() const
    {
        return "/tmp/" + options.pipeName + "_out";
    }

    // The module as built, with an edit applied to its bytes, installed under this name.
    void install (const std::function<void (std::string&)>& edit = {}, const std::string& name = "reaper_belvanta_extension.so")
    {
        fs::create_directories (plugins);
        const auto target = plugins / name;

        if (!edit)
        {
            fs::copy_file (BV_EXTENSION_PATH, target);
            return;
        }

        // Read in one piece: the module is tens of megabytes in a sanitizer build.
        std::ifstream in (BV_EXTENSION_PATH, std::ios::binary);
        std::string bytes (static_cast<std::size_t> (fs::file_size (BV_EXTENSION_PATH)), '\0');
        in.read (bytes.data(), static_cast<std::streamsize> (bytes.size()));
        ASSERT_TRUE (in);

        edit (bytes);
        writeBytes (target.string(), bytes);
    }

    void writeLog (const std::string& text)
    {
        const auto path = temporaryHome->logFilePath();
        fs::create_directories (fs::path (path).parent_path());
        writeBytes (path, text);
    }

    const Check& check (const std::vector<Check>& checks, const std::string& name)
    {
        for (const auto& c : checks)
            if (c.name == name)
                return c;

        static const Check none{"(missing)", Check::Status::fail, "no such check", ""};
        return none;
    }

    std::unique_ptr<testing_support::TemporaryHome> temporaryHome;
    fs::path home, plugins;
    doctor::Options options;
    int reader = -1;
    std::unique_ptr<testing_support::Subprocess> writer;
};

const std::string kBanner = "\r\n**********************************************************\r\n\r\nLog started: 8 Dec 2026 2:00:00am\r\n";
const std::string kLaterBanner = "\r\n**********************************************************\r\n\r\nLog started: 8 Dec 2026 3:00:00am\r\n";

// The first line of a log cut while its REAPER waited for the serving lock.
const std::string kWaitingHead = "Log started 8 Dec 2026 3:00:00am in process 1654, trimmed since; pipe not served (another REAPER serves it, or its lock file is refused)\r\n";
} // namespace

TEST_F (DoctorTest, EachBrokenInstallationGetsItsOwnVerdict)
{
    struct Case
    {
        std::string what;
        std::function<void (DoctorTest&)> prepare;
        std::string failing; // the first check that fails
        std::string detail;  // part of its detail
        std::string verdict; // part of the verdict
        bool needsOtherUser = false;
        std::string log = {}; // part of the log check's detail, when given
    };

    const auto other = client_testing::otherUser();
    const auto lock = lockPath();
    const auto clientLock = ClientLock::pathFor (options.pipeName);

    // The extension refuses a lock file planted before REAPER starts and makes no FIFOs.
    const auto refusedLock = [] (const std::string& why)
    {
        return [why] (DoctorTest& t)
        {
            t.install();
            t.writeLog (kBanner + "Pipe not created: " + t.lockPath() + " " + why + "\r\n");
        };
    };

    // A program with the request FIFO open for writing, stopped after a packet's header.
    const auto stuckWriter = [] (const std::string& log)
    {
        return [log] (DoctorTest& t)
        {
            t.install();
            t.writeLog (kBanner + "pipe created\r\n" + log);
            t.serve();
            t.writer = std::make_unique<testing_support::Subprocess> (std::vector<std::string>{
                "/bin/sh", "-c", "exec 3>" + t.requestPath() + "; printf '\\054\\236\\264\\362\\000\\000\\001\\000' >&3; exec sleep 10"});
            ASSERT_NO_FATAL_FAILURE (waitUntilHeldBy (t.requestPath(), "sleep"));
        };
    };

    const Case cases[] = {
        {"nothing installed", [] (DoctorTest&) {}, "module", "there is no folder", "not installed"},
        {"an empty UserPlugins folder", [] (DoctorTest& t)
         { fs::create_directories (t.plugins); },
         "module", "no reaper_belvanta_extension.so in", "not installed"},
        {"two copies", [] (DoctorTest& t)
         { t.install(); t.install ({}, "reaper_belvanta_extension-linux-x86_64.so"); },
         "module", "2 copies", "installed twice"},
        {"a module for another machine", [] (DoctorTest& t)
         { t.install ([] (std::string& bytes)
                      { bytes[18] = static_cast<char> (elf_file::thisMachine() == 183 ? 62 : 183); bytes[19] = 0; }); },
         "architecture", "the module is built for", "cannot load it"},
        {"a file that is not a module", [] (DoctorTest& t)
         { t.install ([] (std::string& bytes)
                      { bytes = "not a library"; }); },
         "architecture", "not an ELF file", "cannot load it"},
        {"a library that is nowhere", [] (DoctorTest& t)
         { t.install ([] (std::string& bytes)
                      {
                          const auto at = bytes.find (std::string ("libc.so.6\0", 10));
                          ASSERT_NE (at, std::string::npos);
                          bytes.replace (at, 9, "libq.so.6"); }); },
         "libraries", "not found: libq.so.6", "cannot load it"},
        {"installed, REAPER not running", [] (DoctorTest& t)
         { t.install(); t.writeLog (kBanner + "pipe created\r\nDeleting Instance\r\n~ReaperBridge\r\n"); },
         "log", "(\"Deleting Instance\")", "REAPER is not running"},
        {"the log read where the extension writes it, whatever XDG_CONFIG_HOME says", [] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kBanner + "pipe created\r\nDeleting Instance\r\n~ReaperBridge\r\n");
             ASSERT_EQ (setenv ("XDG_CONFIG_HOME", (t.home / "elsewhere").c_str(), 1), 0); },
         "log", "(\"Deleting Instance\")", "REAPER is not running"},
        {"stale FIFOs", [] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kBanner + "pipe created\r\n");
             ASSERT_EQ (mkfifo (t.requestPath().c_str(), 0600), 0);
             ASSERT_EQ (mkfifo (t.replyPath().c_str(), 0600), 0); },
         "holders", "nothing reads", "the FIFOs are stale"},
        {"a reply FIFO open to others", [] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kBanner + "pipe created\r\n");
             ASSERT_EQ (mkfifo (t.requestPath().c_str(), 0600), 0);
             ASSERT_EQ (mkfifo (t.replyPath().c_str(), 0600), 0);
             ASSERT_EQ (chmod (t.replyPath().c_str(), 0644), 0); },
         "pipe files", "is open to other users (mode 0644", "not this user's own FIFOs"},
        {"another user's file at the lock file's name", [&] (DoctorTest& t)
         {
             refusedLock ("is owned by another user") (t);
             ASSERT_TRUE (client_testing::asUser (*other, [&]
                                                  { return std::ofstream (t.lockPath()).good(); })); },
         "log", "Pipe not created: " + lock + " is owned by another user",
         "a file planted at " + lock + " keeps REAPER from serving the pipe: have its owner (nobody) or root delete it: rm -r " + lock, true},
        {"a directory at the lock file's name", [&] (DoctorTest& t)
         {
             refusedLock ("is a directory") (t);
             ASSERT_EQ (mkdir (t.lockPath().c_str(), 0700), 0); },
         "log", "Pipe not created: " + lock + " is a directory",
         "a file planted at " + lock + " keeps REAPER from serving the pipe: delete it: rm -r " + lock},
        {"a symbolic link at the lock file's name", [&] (DoctorTest& t)
         {
             refusedLock ("is a symbolic link") (t);
             ASSERT_EQ (symlink ("/tmp/elsewhere", t.lockPath().c_str()), 0); },
         "log", "Pipe not created: " + lock + " is a symbolic link",
         "a file planted at " + lock + " keeps REAPER from serving the pipe: delete it"},
        {"a directory at bv-client's lock file's name", [&] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kBanner + "pipe created\r\n");
             t.serve();
             ASSERT_EQ (mkdir (ClientLock::pathFor (t.options.pipeName).c_str(), 0700), 0); },
         "round trip", "not tried: bv-client's lock file " + clientLock + " is a directory, not a regular file",
         "bv-client's own lock file " + clientLock + " is in the way: delete it (rm -r " + clientLock + ")"},
        {"a hard link at the lock file's name", [&] (DoctorTest& t)
         {
             refusedLock ("has other names") (t);
             ASSERT_TRUE (std::ofstream (t.lockPath()).good());
             ASSERT_EQ (link (t.lockPath().c_str(), (t.lockPath() + ".other").c_str()), 0); },
         "log", "Pipe not created: " + lock + " has other names",
         "a file planted at " + lock + " keeps REAPER from serving the pipe: delete it: rm -r " + lock},
        // Named as what they are: no copy of the module is among them.
        {"a FIFO named like the module", [] (DoctorTest& t)
         {
             fs::create_directories (t.plugins);
             ASSERT_EQ (mkfifo ((t.plugins / "reaper_belvanta_extension.so").c_str(), 0600), 0); },
         "module", "reaper_belvanta_extension.so is a FIFO, not a regular file",
         "reaper_belvanta_extension.so is a FIFO, not a regular file, among REAPER's modules: remove it"},
        {"a folder named like the module", [] (DoctorTest& t)
         { fs::create_directories (t.plugins / "reaper_belvanta_extension.so"); },
         "module", "reaper_belvanta_extension.so is a directory, not a regular file",
         "reaper_belvanta_extension.so is a directory, not a regular file, among REAPER's modules: remove it"},
        // A cut log's head line says a REAPER waits for the lock, or that its lock file is refused.
        {"a REAPER waiting for the lock, its log cut", [] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kWaitingHead);
             t.serve(); },
         "round trip", "version request", "the extension does not answer", false, "the last start waits for the REAPER that serves"},
        // The log's folder refused: the extension runs, logging to standard error only.
        {"the log folder a symbolic link", [] (DoctorTest& t)
         {
             t.install();
             fs::create_directories (t.home / ".config" / "elsewhere");
             ASSERT_EQ (symlink ("elsewhere", fs::path (t.temporaryHome->logFilePath()).parent_path().c_str()), 0);
             t.serve(); },
         "log", "Belvanta is a symbolic link\"", "the extension does not answer"},
        {"the log folder another user's", [&] (DoctorTest& t)
         {
             t.install();
             const auto folder = fs::path (t.temporaryHome->logFilePath()).parent_path();
             fs::create_directories (folder);
             ASSERT_EQ (chown (folder.c_str(), static_cast<uid_t> (other->uid), getegid()), 0);
             t.serve(); },
         "log", "Belvanta is owned by another user\"", "the extension does not answer", true},
        // REAPER run as root with another user's HOME.
        {"the log folder missing in another user's folder", [&] (DoctorTest& t)
         {
             t.install();
             ASSERT_EQ (chown ((t.home / ".config").c_str(), static_cast<uid_t> (other->uid), static_cast<gid_t> (other->gid)), 0); },
         "log", "/.config, which is owned by another user\"", "REAPER is not running", true},
        {"a program stopped in a packet, as the log says", stuckWriter ("Waiting 2 s for 65536 more bytes of a packet of 65536 bytes: a program holds the request FIFO open without finishing it\r\n"),
         "round trip", " sleep; the log says \"Waiting 2 s for 65536", "a program holds the request FIFO open in the middle of a packet ("},
        {"a program holding the request FIFO open for writing", stuckWriter (""), "round trip", "is open for writing in ", " sleep holds the request FIFO open for writing"},
        {"a stopped packet the extension has since dropped", stuckWriter ("Waiting 2 s for 8 more bytes of a packet's header: a program holds the request FIFO open without finishing it\r\nDropped an incomplete packet of 8 bytes: its client left\r\n"),
         "round trip", "is open for writing in ", " sleep holds the request FIFO open for writing"},
        {"a directory at the lock file's name, the log cut", [&] (DoctorTest& t)
         {
             t.install();
             t.writeLog (kWaitingHead);
             ASSERT_EQ (mkdir (t.lockPath().c_str(), 0700), 0); },
         "log", "the last start could not take the lock: " + lock + " is a directory",
         "a file planted at " + lock + " keeps REAPER from serving the pipe: delete it"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TearDown();
        SetUp();

        if (c.needsOtherUser && !other)
        {
            std::cout << "[  SKIPPED ] " << c.what << ": needs root, to act as another user\n";
            continue;
        }

        c.prepare (*this);

        const auto checks = doctor::runChecks (options);
        ASSERT_EQ (checks.size(), 7u);

        const Check* firstFailure = nullptr;

        for (const auto& each : checks)
            if (firstFailure == nullptr && each.status == Check::Status::fail)
                firstFailure = &each;

        ASSERT_NE (firstFailure, nullptr);
        EXPECT_EQ (firstFailure->name, c.failing);
        EXPECT_NE (firstFailure->detail.find (c.detail), std::string::npos) << firstFailure->detail;
        EXPECT_FALSE (firstFailure->advice.empty());
        EXPECT_NE (doctor::verdict (checks).find (c.verdict), std::string::npos) << doctor::verdict (checks);
        EXPECT_NE (check (checks, "log").detail.find (c.log), std::string::npos) << check (checks, "log").detail;
    }
}

TEST_F (DoctorTest, AModuleInPlaceHasItsArchitectureAndLibrariesConfirmed)
{
    install();
    options.pluginsFolder = plugins.string();
    const auto checks = doctor::runChecks (options);

    EXPECT_EQ (check (checks, "module").status, Check::Status::pass);
    EXPECT_EQ (check (checks, "architecture").status, Check::Status::pass) << check (checks, "architecture").detail;
    EXPECT_EQ (check (checks, "libraries").status, Check::Status::pass) << check (checks, "libraries").detail;
    EXPECT_NE (check (checks, "libraries").detail.find ("libc.so.6"), std::string::npos);
#if BV_SELF_CONTAINED_MODULE
    // The release module carries protobuf and the C++ runtime inside; it needs the C
    // library's own parts (libgcc_s.so.1 too when GCC built it; Zig's carries its unwinder).
    EXPECT_EQ (check (checks, "libraries").detail.find ("libprotobuf-lite"), std::string::npos);
    EXPECT_NE (check (checks, "libraries").detail.find ("libm.so.6"), std::string::npos);
#else
    EXPECT_NE (check (checks, "libraries").detail.find ("libprotobuf-lite"), std::string::npos) << "a library's own needs are not followed";
#endif
}

TEST_F (DoctorTest, MoreThanOneReaderOfEitherFifoIsAProblem)
{
    for (const bool replies : {false, true})
    {
        TearDown();
        SetUp();
        install();
        writeLog (kBanner + "pipe created\r\n");
        serve();
        const auto path = replies ? replyPath() : requestPath();

        const int ours = ::open (path.c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE (ours, 0);
        testing_support::Subprocess other ({"/bin/sh", "-c", "exec 3<>" + path + "; exec sleep 10"});

        ASSERT_NO_FATAL_FAILURE (waitUntilHeldBy (path, "sleep"));

        const auto checks = doctor::runChecks (options);
        ::close (ours);

        const auto& holders = check (checks, "holders");
        EXPECT_EQ (holders.status, Check::Status::fail);
        for (const auto& part : {"2 processes read " + path + " (", std::to_string (getpid()) + " ", std::to_string (other.processId()) + " sleep"})
            EXPECT_NE (holders.detail.find (part), std::string::npos) << part << " not in: " << holders.detail;
        EXPECT_NE (doctor::verdict (checks).find ("more than one process"), std::string::npos);
    }
}

TEST_F (DoctorTest, NeverWaitsOnAFifoOrADeviceInPlaceOfAFile)
{
    struct Case
    {
        const char* what;
        std::function<void (DoctorTest&)> prepare;
        std::function<std::string (DoctorTest&)> says; // a line of the doctor's output
    };

    const auto module = [] (DoctorTest& t)
    { return (t.plugins / "reaper_belvanta_extension.so").string(); };
    const auto log = [] (DoctorTest& t)
    { return t.temporaryHome->logFilePath(); };
    const auto notSince = [&] (DoctorTest& t)
    { return ", and there is no " + log_texts::besidePath (log (t)) + ": the extension has not started since it was put there"; };

    const Case cases[] = {
        {"a FIFO named like the module", [&] (DoctorTest& t)
         {
             fs::create_directories (t.plugins);
             ASSERT_EQ (mkfifo (module (t).c_str(), 0600), 0); },
         [&] (DoctorTest& t)
         { return "FAIL  module        " + module (t) + " is a FIFO, not a regular file"; }},
        {"a FIFO at the log's path", [&] (DoctorTest& t)
         {
             t.install();
             fs::create_directories (fs::path (log (t)).parent_path());
             ASSERT_EQ (mkfifo (log (t).c_str(), 0600), 0); },
         [&] (DoctorTest& t)
         { return "FAIL  log           the log " + log (t) + " is a FIFO, not a regular file" + notSince (t); }},
        {"the log a link to /dev/zero", [&] (DoctorTest& t)
         {
             t.install();
             fs::create_directories (fs::path (log (t)).parent_path());
             ASSERT_EQ (symlink ("/dev/zero", log (t).c_str()), 0); },
         [&] (DoctorTest& t)
         { return "FAIL  log           the log " + log (t) + " is a symbolic link to /dev/zero" + notSince (t); }},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        TearDown();
        SetUp();
        c.prepare (*this);

        // The program as a user runs it, stopped at the deadline if it waits; its memory is
        // capped (not under AddressSanitizer, which reserves far more) so that one reading
        // a device cannot take the machine's.
        std::vector<std::string> command{BV_CLIENT_PATH, "--pipe", options.pipeName, "--timeout", "300", "doctor", "--plugins", plugins.string()};
#if !defined(__SANITIZE_ADDRESS__)
        command.insert (command.begin(), {"/bin/sh", "-c", "ulimit -v 1000000; exec \"$@\"", "sh"});
#endif
        const auto run = client_testing::runClient (command, std::chrono::seconds (5));

        EXPECT_EQ (run.exitCode, 1) << "-1: still running after 5 s\n"
                                    << run.out << run.err;
        EXPECT_LT (run.took.count(), 4000);
        EXPECT_NE (run.out.find (c.says (*this) + "; to do: remove it"), std::string::npos) << run.out;
    }
}

TEST_F (DoctorTest, OfTwoReapersTheOneHoldingTheLockIsNamedAsServing)
{
    // This process plays the serving REAPER: it reads the requests and holds the lock.
    install();
    writeLog (kBanner + "pipe created\r\n" + kLaterBanner + "Pipe served by another REAPER (process " + std::to_string (getpid()) + ")\r\n");
    serve();

    const int lock = ::open (lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE (lock, 0);
    ASSERT_EQ (flock (lock, LOCK_EX | LOCK_NB), 0);

    // The other REAPER has the lock file open and waits for it.
    testing_support::Subprocess waiting ({"/bin/sh", "-c", "exec 3<" + lockPath() + "; exec sleep 10"});

    ASSERT_NO_FATAL_FAILURE (waitUntilHeldBy (lockPath(), "sleep"));

    const auto checks = doctor::runChecks (options);
    ::close (lock);

    std::string self;
    std::getline (std::ifstream ("/proc/self/comm"), self);
    const auto& logCheck = check (checks, "log");
    const auto& holders = check (checks, "holders");

    EXPECT_EQ (logCheck.status, Check::Status::pass) << logCheck.detail;
    EXPECT_EQ (logCheck.detail, "the serving start made the pipe: \"pipe created\" (Log started: 8 Dec 2026 2:00:00am); a REAPER started later waits: \"Pipe served by another REAPER (process "
                                    + std::to_string (getpid()) + ")\" (Log started: 8 Dec 2026 3:00:00am)");
    EXPECT_EQ (holders.status, Check::Status::pass) << holders.detail;
    EXPECT_NE (holders.detail.find ("REAPER " + std::to_string (getpid()) + " " + self + " reads the requests and holds " + lockPath() + ", so it serves; waiting to serve: "),
               std::string::npos)
        << holders.detail;
    EXPECT_NE (holders.detail.find (" sleep"), std::string::npos) << holders.detail;
}

// HOME counts only when it is an absolute path, as for the extension: a relative one would
// have the doctor look for REAPER's folder and the log under the folder it was started in.
TEST (DoctorPaths, AreUnderTheUsersHomeWhateverHomeSays)
{
    const auto fromEntry = []
    {
        testing_support::ScopedVariable unset ("HOME", std::nullopt);
        return std::make_pair (doctor_platform::defaultPluginsFolder(), log_location::path());
    }();
    ASSERT_EQ (fromEntry.first.front(), '/');

    for (const char* home : {"relhome", "", "./home"})
    {
        testing_support::ScopedVariable relative ("HOME", std::string (home));
        EXPECT_EQ (doctor_platform::defaultPluginsFolder(), fromEntry.first) << home;
        EXPECT_EQ (log_location::path(), fromEntry.second) << home;
    }
}

TEST (DoctorLog, TheLastStartDecides)
{
    using State = log_check::Verdict::State;
    const std::string banner = "\r\n*****\r\n\r\nLog started: 8 Dec 2026 2:00:00am\r\n";

    struct Case
    {
        std::string text;
        State state;
        std::string detail;
    };

    const Case cases[] = {
        {"", State::noStart, ""},
        {"pipe created\r\n", State::noStart, ""},
        {banner + "pipe created\r\n", State::serving, "pipe created"},
        {banner + "pipe created\r\nSpotting:/a.wav\r\n", State::serving, "pipe created"},
        {banner + "pipe created\r\nDeleting Instance\r\n~ReaperBridge\r\n", State::quit, "Deleting Instance"},
        {banner + "pipe created\r\nDeleting Instance\r\n" + banner + "pipe created\r\n", State::serving, "pipe created"},
        {banner + "pipe created\r\n" + banner + "Pipe not created: /tmp/bv_reaper_in is a symbolic link\r\n", State::noPipe, "Pipe not created: /tmp/bv_reaper_in is a symbolic link"},
        // A start that says something this check does not know, or nothing yet.
        {banner + "Another REAPER serves the pipe\r\n", State::unknown, "Another REAPER serves the pipe"},
        {banner, State::unknown, ""},
        // A second REAPER's start only waits: the first one's start tells how the pipe is.
        {banner + "pipe created\r\n" + banner + "Pipe served by another REAPER (process 42)\r\nSpotting:/a.wav\r\n", State::serving, "pipe created"},
        {banner + "Pipe served by another REAPER (process 42)\r\n", State::waiting, "Pipe served by another REAPER (process 42)"},
        {banner + "Pipe served by another REAPER (process 42)\r\nDeleting Instance\r\npipe created\r\n", State::serving, "pipe created"},
        {banner + "Pipe served by another REAPER (process 42)\r\nDeleting Instance\r\n", State::quit, "Deleting Instance"},
        // After a trim, the first line the extension writes: when the log started and how the
        // pipe is.
        {"Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe served\r\nSpotting:/a.wav\r\n", State::serving,
         "Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe served"},
        {"Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe not served (its FIFOs are refused)\r\n", State::noPipe,
         "Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe not served (its FIFOs are refused)"},
        {kWaitingHead, State::waiting, kWaitingHead.substr (0, kWaitingHead.size() - 2)},
        {"Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe not served (stopped)\r\n", State::quit,
         "Log started 8 Dec 2026 2:00:00am in process 1654, trimmed since; pipe not served (stopped)"},
        // A trim that left no start line: what is left counts.
        {"Spotting:/a.wav\r\npipe re-created\r\nLog trimmed to its last 131072 bytes\r\n", State::serving, "pipe re-created"},
        // Lines that only look like a start do not begin one.
        {banner + "pipe created\r\nSpotting:/Log started: then.wav\r\nLog trimmed to its last 131072 bytes\r\n", State::serving, "pipe created"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        const auto verdict = log_check::readLog (c.text);
        EXPECT_EQ (verdict.state, c.state);
        EXPECT_EQ (verdict.detail, c.detail);
    }
}

TEST (DoctorLog, ALongLogIsReadOnlyToItsBoundFromTheEnd)
{
    const client_testing::TemporaryFolder folder;
    const auto path = folder.path() + "/Reaper.txt";
    const std::string end = "\r\nLog started: 1\r\npipe created\r\n";

    // 64 MiB without data, then the start.
    {
        std::ofstream file (path, std::ios::binary);
    }
    ASSERT_EQ (truncate (path.c_str(), 64 * 1024 * 1024), 0);
    std::ofstream (path, std::ios::binary | std::ios::app) << end;

    const auto tail = regular_file::readTail (path, log_check::kMostBytesRead);

    EXPECT_EQ (tail.status, regular_file::Opened::Status::open) << tail.problem;
    EXPECT_EQ (tail.bytes.size(), log_check::kMostBytesRead);
    EXPECT_TRUE (tail.cut);
    EXPECT_EQ (log_check::readLog (tail.bytes).state, log_check::Verdict::State::serving);
}

TEST (DoctorElf, ReadsWhatTheLoaderNeedsAndRefusesWhatIsNotAModule)
{
    std::string error;
    const auto module = elf_file::read (BV_EXTENSION_PATH, error);
    ASSERT_TRUE (module) << error;
    EXPECT_EQ (module->machine, elf_file::thisMachine());
    EXPECT_NE (std::find (module->needed.begin(), module->needed.end(), "libc.so.6"), module->needed.end());

    struct Case
    {
        std::string bytes;
        std::string error;
    };

    const Case cases[] = {
        {"", "not an ELF file"},
        {std::string ("\xcf\xfa\xed\xfe", 4) + std::string (60, '\0'), "not an ELF file (Mach-O)"},
        // The header claims program headers past the end of the file.
        {std::string ("\x7f"
                      "ELF\x02\x01",
                      6)
             + std::string (26, '\0') + std::string ("\xff\xff\x00\x00\x00\x00\x00\x00", 8) + std::string (14, '\0') + std::string ("\x38\x00\x01\x00", 4) + std::string (8, '\0'),
         "a damaged ELF file (program headers)"},
    };

    for (const auto& c : cases)
    {
        std::string why;
        EXPECT_FALSE (elf_file::parse (c.bytes, why));
        EXPECT_EQ (why, c.error);
    }
}

// A Windows DLL as the doctor reads it: machine and format, exports and imports, and whether
// each import is Windows' own; a file that is not one, or is cut short, is named so.
TEST (DoctorPe, FindsTheDllsFactsAndRefusesWhatIsNotOne)
{
    std::string dll (0x400, '\0');
    const auto put = [&] (std::size_t at, std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            dll[at + static_cast<std::size_t> (i)] = static_cast<char> (value >> (8 * i));
    };
    const auto text = [&] (std::size_t at, const std::string& s)
    { dll.replace (at, s.size(), s); };
    // Headers: PE32+ x86-64, one section (RVA 0x1000 at file offset 0x200), 16 directories.
    text (0, "MZ"), put (0x3c, 0x40, 4), text (0x40, std::string ("PE\0\0", 4)), put (0x44, 0x8664, 2), put (0x46, 1, 2);
    put (0x54, 240, 2), put (0x58, 0x20b, 2), put (0x58 + 108, 16, 4);
    put (0x58 + 112, 0x1000, 4), put (0x58 + 120, 0x1080, 4);
    put (0x148 + 8, 0x200, 4), put (0x148 + 12, 0x1000, 4), put (0x148 + 16, 0x200, 4), put (0x148 + 20, 0x200, 4);
    // One export name, two imported DLLs.
    put (0x200 + 24, 1, 4), put (0x200 + 32, 0x1040, 4), put (0x240, 0x1050, 4), text (0x250, "ReaperPluginEntry");
    put (0x280 + 12, 0x1100, 4), put (0x280 + 32, 0x1110, 4), text (0x300, "KERNEL32.dll"), text (0x310, "libstdc++-6.dll");

    std::string why;
    const auto info = pe_file::parse (dll, why);
    ASSERT_TRUE (info) << why;
    EXPECT_EQ (pe_file::machineName (info->machine), "x86-64");
    EXPECT_TRUE (info->pe32Plus);
    EXPECT_EQ (info->exports, (std::vector<std::string>{"ReaperPluginEntry"}));
    EXPECT_EQ (info->imports, (std::vector<std::string>{"KERNEL32.dll", "libstdc++-6.dll"}));

    const std::pair<std::string, bool> dlls[] = {{"KERNEL32.dll", true}, {"user32.DLL", true}, {"api-ms-win-crt-runtime-l1-1-0.dll", true}, {"libstdc++-6.dll", false}, {"libwinpthread-1.dll", false}, {"kernel32.dll.evil", false}};
    for (const auto& [name, system] : dlls)
        EXPECT_EQ (pe_file::isSystemDll (name), system) << name;

    const std::pair<std::string, std::string> refused[] = {{"", "not a PE file"},
                                                           {dll.substr (0, 0x40), "not a PE file (no PE signature)"},
                                                           {dll.substr (0, 0x100), "a damaged PE file (its headers are cut short)"},
                                                           {dll.substr (0, 0x2f0), "a damaged PE file (a table points outside it)"}};
    for (const auto& [bytes, error] : refused)
        EXPECT_TRUE (!pe_file::parse (bytes, why) && why == error) << error << ": " << why;
}
