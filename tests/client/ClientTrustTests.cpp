// What bv-client refuses to talk through: files in /tmp that are not this user's own private
// FIFOs, a lock another client holds or someone else planted, and replies of the wrong kind.
// Each test has its own pipe name; nothing here needs the extension.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "ClientEnvironment.h"
#include "ClientLock.h"
#include "ClientRequests.h"
#include "ClientRuns.h"
#include "FifoTrust.h"
#include "ForgedReply.h"
#include "LogFileLines.h"
#include "PacketBuilder.h"
#include "ReplyKinds.h"
#include "ScopedVariable.h"
#include "UniqueFd.h"
#include "reaper.pb.h"

using namespace client_testing;

namespace
{
std::string uniquePipeName (const std::string& what)
{
    return "bv_client_trust_" + std::to_string (getpid()) + "_" + what;
}

// A regular file's content (a FIFO would block the read).
std::string fileContent (const std::string& path)
{
    struct stat info;

    if (lstat (path.c_str(), &info) != 0 || !S_ISREG (info.st_mode))
        return "(not a regular file)";

    return testing_support::readWholeFile (path);
}

bool makeFifo (const std::string& path, mode_t mode)
{
    return mkfifo (path.c_str(), 0600) == 0 && chmod (path.c_str(), mode) == 0;
}

bool makeFile (const std::string& path, const std::string& content, mode_t mode)
{
    std::ofstream (path, std::ios::binary) << content;
    return chmod (path.c_str(), mode) == 0;
}

const char* statusName (ClientLock::Result::Status status)
{
    switch (status)
    {
        case ClientLock::Result::Status::held:
            return "held";
        case ClientLock::Result::Status::busy:
            return "busy";
        case ClientLock::Result::Status::untrusted:
            return "untrusted";
        case ClientLock::Result::Status::failed:
            return "failed";
    }

    return "?";
}

// The lock's outcome by name, with the reason and the file's mode, for failure messages.
std::string describe (const ClientLock::Result& result, const std::string& path)
{
    return std::string (statusName (result.status)) + " (" + result.reason + "); " + path + " is " + describeMode (path);
}

// The lock file where bv-client kept it before: /tmp, where anyone can create it.
std::string lockInTmp (const std::string& pipeName)
{
    return "/tmp/" + pipeName + "_client.lock";
}

// The pipe's two files as a test plants them, removed again at the end.
struct PlantedPipe
{
    std::string name, in, out;

    explicit PlantedPipe (const std::string& what)
        : name (uniquePipeName (what))
        , in ("/tmp/" + name + "_in")
        , out ("/tmp/" + name + "_out")
    {
    }

    ~PlantedPipe()
    {
        unlink (in.c_str());
        unlink ((in + ".target").c_str());
        unlink (out.c_str());

        std::error_code ignored;
        std::filesystem::remove_all (ClientLock::pathFor (name), ignored);
        std::filesystem::remove_all (lockInTmp (name), ignored);
    }
};

} // namespace

TEST (ClientTrust, FilesThatAreNotThisUsersPrivateFifosAreRefusedAndNothingIsWritten)
{
    const auto other = otherUser();

    struct Case
    {
        const char* what;
        std::function<bool (const PlantedPipe&, const std::optional<OtherUser>&)> plant;
        bool faultInReplyFifo;
        std::string says;
        bool needsOtherUser = false;
    };

    const Case cases[] = {
        {"a regular file as the request FIFO", [] (const PlantedPipe& p, auto&)
         { return makeFifo (p.out, 0600) && makeFile (p.in, "", 0666); },
         false, "is a regular file, not a FIFO"},
        {"a forged reply in a regular file", [] (const PlantedPipe& p, auto&)
         { return makeFile (p.out, forgedVersionPacket(), 0666) && makeFifo (p.in, 0600); },
         true, "is a regular file, not a FIFO"},
        {"a symbolic link to a FIFO of ours", [] (const PlantedPipe& p, auto&)
         { return makeFifo (p.out, 0600) && makeFifo (p.in + ".target", 0600) && symlink ((p.in + ".target").c_str(), p.in.c_str()) == 0; },
         false, "is a symbolic link"},
        {"a FIFO of ours open to others", [] (const PlantedPipe& p, auto&)
         { return makeFifo (p.out, 0600) && makeFifo (p.in, 0622); },
         false, "is open to other users (mode 0622; it must be 0600)"},
        {"a FIFO of ours open to its group only", [] (const PlantedPipe& p, auto&)
         { return makeFifo (p.out, 0600) && makeFifo (p.in, 0660); },
         false, "is open to other users (mode 0660; it must be 0600)"},
        {"FIFOs of another user", [] (const PlantedPipe& p, const std::optional<OtherUser>& user)
         { return asUser (*user, [&]
                          { return makeFifo (p.out, 0666) && makeFifo (p.in, 0666); }); },
         true, "belongs to another user (nobody)", true},
        {"private FIFOs of another user in our group", [] (const PlantedPipe& p, const std::optional<OtherUser>& user)
         { return makeFifo (p.out, 0600) && makeFifo (p.in, 0600) && chown (p.out.c_str(), static_cast<uid_t> (user->uid), getegid()) == 0
                  && chown (p.in.c_str(), static_cast<uid_t> (user->uid), getegid()) == 0; },
         true, "belongs to another user (nobody)", true},
        {"another user's regular files with a forged reply", [] (const PlantedPipe& p, const std::optional<OtherUser>& user)
         { return asUser (*user, [&]
                          { return makeFile (p.out, forgedVersionPacket(), 0666) && makeFile (p.in, "", 0666); }); },
         true, "is a regular file, not a FIFO", true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);

        if (c.needsOtherUser && !other)
        {
            std::cout << "[  SKIPPED ] " << c.what << ": needs root, to act as another user\n";
            continue;
        }

        const PlantedPipe pipe ("file" + std::to_string (&c - cases));
        ASSERT_TRUE (c.plant (pipe, other));

        // A reader on the request FIFO, so that a client without checks would get through.
        const int reader = ::open (pipe.in.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
        const auto before = fileContent (pipe.out) + "|" + fileContent (pipe.in);

        for (const auto* subcommand : {"version", "spot"})
        {
            std::vector<std::string> command{BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", subcommand};

            if (std::string (subcommand) == "spot")
                command.push_back ("/home/me/Secret Project/scene 12.wav");

            const auto run = runClient (command);
            const auto& faulty = c.faultInReplyFifo ? pipe.out : pipe.in;

            EXPECT_EQ (run.exitCode, 3) << run.out << run.err;
            EXPECT_EQ (run.out, "");
            EXPECT_NE (run.err.find ("refusing " + faulty + ": it " + c.says), std::string::npos) << run.err;
            EXPECT_NE (run.err.find ("Nothing was sent"), std::string::npos) << run.err;
        }

        EXPECT_EQ (fileContent (pipe.out) + "|" + fileContent (pipe.in), before);

        if (reader >= 0)
        {
            char byte;
            EXPECT_LE (::read (reader, &byte, 1), 0) << "something was written into the request FIFO";
            ::close (reader);
        }
    }
}

TEST (ClientTrust, AMissingReplyFifoAndPermissionDeniedAreToldAsSuch)
{
    {
        const PlantedPipe pipe ("no_out");
        ASSERT_TRUE (makeFifo (pipe.in, 0600));
        const int reader = ::open (pipe.in.c_str(), O_RDONLY | O_NONBLOCK);

        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", "version"});

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_NE (run.err.find ("there is no " + pipe.out + " (the reply FIFO"), std::string::npos) << run.err;
        ::close (reader);
    }

    // Root may open any file, so the client runs as another user, owning FIFOs it cannot use.
    const auto other = otherUser();

    if (geteuid() == 0 && !other)
        GTEST_SKIP() << "as root, needs a user \"nobody\" to be denied";

    const PlantedPipe pipe ("denied");
    const auto plant = [&]
    { return makeFifo (pipe.out, 0) && makeFifo (pipe.in, 0); };
    ASSERT_TRUE (other ? asUser (*other, plant) : plant());

    // That user's own folder for its lock.
    const TemporaryFolder runtime;
    ASSERT_TRUE (!other || chown (runtime.path().c_str(), static_cast<uid_t> (other->uid), static_cast<gid_t> (other->gid)) == 0);
    const testing_support::ScopedVariable runtimeVariable ("XDG_RUNTIME_DIR", runtime.path());

    Subprocess process ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", "version"}, clientSetup ({}, other));
    const auto run = process.finish (std::chrono::seconds (10));

    EXPECT_EQ (run.exitCode, 3);
    EXPECT_NE (run.err.find ("permission denied opening " + pipe.out), std::string::npos) << run.err;
    EXPECT_EQ (run.err.find ("nothing reads"), std::string::npos) << run.err;
}

TEST (ClientTrust, ASecondClientWaitsForTheLockWithinItsTimeoutAndSaysSo)
{
    const PlantedPipe pipe ("busy");
    ClientLock held;
    ASSERT_TRUE (held.acquire (ClientLock::pathFor (pipe.name), 100).held());

    struct stat info;
    ASSERT_EQ (lstat (ClientLock::pathFor (pipe.name).c_str(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0600u);
    EXPECT_EQ (info.st_uid, geteuid());

    const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "300", "version"});

    EXPECT_EQ (run.exitCode, 3);
    EXPECT_NE (run.err.find ("another bv-client is talking to the extension: it held " + ClientLock::pathFor (pipe.name) + " for the whole 300 ms"), std::string::npos) << run.err;
    EXPECT_GE (run.took.count(), 290);
    EXPECT_LT (run.took.count(), 2000);

    // Let go, the file is gone, and the next one gets it at once.
    held.release();
    EXPECT_NE (lstat (ClientLock::pathFor (pipe.name).c_str(), &info), 0);
    ClientLock next;
    EXPECT_TRUE (next.acquire (ClientLock::pathFor (pipe.name), 1).held());
    next.release();

    // A file left with a wider mode (its holder killed before it let go) is made private.
    ASSERT_TRUE (makeFile (ClientLock::pathFor (pipe.name), "", 0666));
    ASSERT_TRUE (next.acquire (ClientLock::pathFor (pipe.name), 100).held());
    ASSERT_EQ (lstat (ClientLock::pathFor (pipe.name).c_str(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0600u);
}

TEST (ClientTrust, ALockFileThatIsNotThisUsersOwnIsRefused)
{
    const auto other = otherUser();

    struct Case
    {
        const char* what;
        std::function<bool (const std::string&)> plant;
        std::string says;
        bool needsOtherUser = false;
    };

    const Case cases[] = {
        {"a symbolic link", [] (const std::string& path)
         { return symlink ("/tmp/elsewhere.lock", path.c_str()) == 0; },
         "is a symbolic link"},
        {"a directory", [] (const std::string& path)
         { return mkdir (path.c_str(), 0700) == 0; },
         "is a directory, not a regular file"},
        {"a FIFO", [] (const std::string& path)
         { return makeFifo (path, 0600); },
         "is a FIFO, not a regular file"},
        {"another user's file", [&] (const std::string& path)
         { return makeFile (path, "", 0644) && chown (path.c_str(), static_cast<uid_t> (other->uid), static_cast<gid_t> (other->gid)) == 0; },
         "belongs to another user (nobody), not to " + fifo_trust::userName (geteuid()), true},
        {"another user's file in our group", [&] (const std::string& path)
         { return makeFile (path, "", 0644) && chown (path.c_str(), static_cast<uid_t> (other->uid), getegid()) == 0; },
         "belongs to another user (nobody), not to " + fifo_trust::userName (geteuid()), true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);

        if (c.needsOtherUser && !other)
            continue;

        const PlantedPipe pipe ("lock" + std::to_string (&c - cases));
        const auto lockPath = ClientLock::pathFor (pipe.name);
        ASSERT_TRUE (c.plant (lockPath)) << lockPath;

        ClientLock lock;
        const auto result = lock.acquire (lockPath, 100);
        EXPECT_EQ (result.status, ClientLock::Result::Status::untrusted) << describe (result, lockPath);
        EXPECT_EQ (result.reason, c.says) << describe (result, lockPath);

        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", "version"});

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_NE (run.err.find ("refusing the lock file " + lockPath + ": it " + c.says), std::string::npos) << run.err;

        struct stat info;
        EXPECT_EQ (lstat (lockPath.c_str(), &info), 0) << "a planted lock file was removed";
    }
}

TEST (ClientTrust, AnotherUserCannotLockThisUsersClientOut)
{
    // Whatever is at the name in /tmp, where bv-client kept its lock before, is not its lock.
    const auto other = otherUser();

    struct Case
    {
        const char* what;
        std::function<bool (const std::string&)> plant;
        bool needsOtherUser = false;
    };

    const Case cases[] = {
        {"another user's lock file", [&] (const std::string& path)
         { return asUser (*other, [&]
                          { return makeFile (path, "", 0644); }); },
         true},
        {"a directory", [] (const std::string& path)
         { return mkdir (path.c_str(), 0755) == 0; }},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);

        if (c.needsOtherUser && !other)
        {
            std::cout << "[  SKIPPED ] " << c.what << ": needs root, to act as another user\n";
            continue;
        }

        const PlantedPipe pipe ("lockout" + std::to_string (&c - cases));
        ASSERT_TRUE (c.plant (lockInTmp (pipe.name)));
        EXPECT_NE (ClientLock::pathFor (pipe.name), lockInTmp (pipe.name));

        ClientLock lock;
        const auto result = lock.acquire (ClientLock::pathFor (pipe.name), 100);
        EXPECT_TRUE (result.held()) << describe (result, ClientLock::pathFor (pipe.name));
        lock.release();

        // It gets as far as the pipe, which is not there.
        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", "version"});

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_NE (run.err.find ("the extension is not running: there is no " + pipe.in), std::string::npos) << run.err;
        EXPECT_EQ (run.err.find ("lock file"), std::string::npos) << run.err;
    }
}

TEST (ClientTrust, TheLockLivesInAFolderOnlyThisUserCanWriteTo)
{
    const auto other = otherUser();
    const TemporaryFolder home, runtime;
    const testing_support::ScopedVariable homeVariable ("HOME", home.path());
    const auto homeFolder = home.path() + "/.cache/bv-client";

    struct Case
    {
        const char* what;
        std::optional<std::string> runtimeDirectory;
        std::function<bool()> prepare;
        std::string folder;       // where the lock goes
        std::string refusal = {}; // or why it cannot be taken
        bool needsOtherUser = false;
    };

    const auto chmodRuntime = [&] (mode_t mode)
    { return chmod (runtime.path().c_str(), mode) == 0; };

    const Case cases[] = {
        {"XDG_RUNTIME_DIR of this user, 0700", runtime.path(), [&]
         { return chmodRuntime (0700); },
         runtime.path()},
        {"no XDG_RUNTIME_DIR", std::nullopt, []
         { return true; },
         homeFolder},
        {"XDG_RUNTIME_DIR open to others", runtime.path(), [&]
         { return chmodRuntime (0777); },
         homeFolder},
        {"XDG_RUNTIME_DIR writable by its group", runtime.path(), [&]
         { return chmodRuntime (0770); },
         homeFolder},
        {"XDG_RUNTIME_DIR of another user", runtime.path(), [&]
         { return chmodRuntime (0700) && chown (runtime.path().c_str(), static_cast<uid_t> (other->uid), static_cast<gid_t> (other->gid)) == 0; },
         homeFolder,
         {},
         true},
        {"a relative XDG_RUNTIME_DIR", std::string ("run"), []
         { return true; },
         homeFolder},
        {"the home folder's lock folder open to others", std::nullopt, [&]
         { return chmod (homeFolder.c_str(), 0777) == 0; },
         homeFolder, "cannot be used: its folder " + homeFolder + " can be written by other users (mode 0777)"},
        {"~/.cache there already, as most accounts have it", std::nullopt, [&]
         {
             std::error_code error;
             std::filesystem::remove_all (homeFolder, error);
             return !error && chmod ((home.path() + "/.cache").c_str(), 0755) == 0; },
         homeFolder},
        // Run as root with another user's HOME: that user's ~/.cache is not made root's.
        {"a home of another user without ~/.cache", std::nullopt, [&]
         {
             std::error_code error;
             std::filesystem::remove_all (home.path() + "/.cache", error);
             return !error && chown (home.path().c_str(), static_cast<uid_t> (other->uid), static_cast<gid_t> (other->gid)) == 0; },
         homeFolder, "cannot be made: its folder " + homeFolder + " is missing and would be made in " + home.path() + ", which is owned by another user", true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);

        if (c.needsOtherUser && !other)
            continue;

        const testing_support::ScopedVariable runtimeVariable ("XDG_RUNTIME_DIR", c.runtimeDirectory);
        ASSERT_TRUE (c.prepare());

        const auto name = uniquePipeName ("folder" + std::to_string (&c - cases));
        const auto path = ClientLock::pathFor (name);
        EXPECT_EQ (path, c.folder + "/" + name + "_client.lock");

        ClientLock held;
        const auto result = held.acquire (path, 100);

        if (!c.refusal.empty())
        {
            EXPECT_EQ (result.status, ClientLock::Result::Status::failed) << describe (result, path);
            EXPECT_EQ (result.reason.rfind (c.refusal, 0), 0u) << describe (result, path) << "; the folder is " << describeMode (c.folder);
            continue;
        }

        ASSERT_TRUE (result.held()) << describe (result, path);
        EXPECT_EQ (describeMode (c.folder).substr (0, 4), "0700") << c.folder << " is " << describeMode (c.folder);

        // bv-client, started with the same environment, waits for the very same file.
        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", name, "--timeout", "100", "version"});
        EXPECT_NE (run.err.find ("it held " + path + " for the whole 100 ms"), std::string::npos) << run.err;
    }

    EXPECT_EQ (chown (runtime.path().c_str(), geteuid(), getegid()), 0);
}

TEST (ClientTrust, StrayRepliesDoNotExtendTheWaitForTheAwaitedOne)
{
    const PlantedPipe pipe ("strays");
    ASSERT_TRUE (makeFifo (pipe.in, 0600));
    ASSERT_TRUE (makeFifo (pipe.out, 0600));

    // This process takes the requests and answers none: every 50 ms, for 5 s, it writes a
    // reply of another kind, as replies owed to an earlier client would come.
    const UniqueFd requests (::open (pipe.in.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    const UniqueFd replies (::open (pipe.out.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE (requests.isValid() && replies.isValid());

    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);
    const auto payload = reply.SerializeAsString();
    const auto packet = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
    std::atomic<bool> done{false};
    std::thread strays ([&]
                        {
                            for (int i = 0; i < 100 && !done; ++i)
                            {
                                [[maybe_unused]] const auto written = ::write (replies.get(), packet.data(), packet.size());
                                std::this_thread::sleep_for (std::chrono::milliseconds (50));
                            } });

    const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "300", "version"});
    done = true;
    strays.join();

    EXPECT_EQ (run.exitCode, 3);
    EXPECT_NE (run.err.find ("skipped a command-result reply"), std::string::npos) << run.err;
    EXPECT_NE (run.err.find ("no reply to the version request within 300 ms"), std::string::npos) << run.err;

    // Waiting afresh after each stray, it would wait as long as they come: 5 s.
    EXPECT_LT (run.took.count(), 2500);
}

TEST (ClientTrust, ADescriptorIsCheckedForWhatItReallyOpened)
{
    const PlantedPipe pipe ("fd");
    ASSERT_TRUE (makeFile (pipe.in, "", 0600));
    ASSERT_TRUE (makeFifo (pipe.out, 0600));

    const int file = ::open (pipe.in.c_str(), O_RDONLY);
    const int fifo = ::open (pipe.out.c_str(), O_RDWR | O_NONBLOCK);

    EXPECT_EQ (fifo_trust::checkOpened (file).reason, "is a regular file, not a FIFO");
    EXPECT_TRUE (fifo_trust::checkOpened (fifo).trusted());
    EXPECT_EQ (fifo_trust::checkPath (pipe.in + "-none").state, fifo_trust::Verdict::State::missing);

    ::close (file);
    ::close (fifo);

    // Whose a file is, is its user id's alone: ours in another group is ours.
    const auto other = otherUser();

    if (!other)
        GTEST_SKIP() << "needs root, to give files to another group";

    for (const auto& path : {pipe.out, pipe.in})
        ASSERT_EQ (chown (path.c_str(), geteuid(), static_cast<gid_t> (other->gid)), 0) << path;

    EXPECT_TRUE (fifo_trust::checkPath (pipe.out).trusted()) << fifo_trust::checkPath (pipe.out).reason;
    EXPECT_EQ (ClientLock::whyRefused (pipe.in), "") << "as a lock file";
}

TEST (ClientTrust, EachRequestAcceptsOnlyItsOwnKindOfReply)
{
    using Server = BVReaper::ServerMessage;
    using Client = BVReaper::ClientMessage;

    struct Case
    {
        Client::Type request;
        Server::Type accepted;
    };

    const Case cases[] = {
        {Client::VERSION_REQUEST, Server::VERSION},
        {Client::SESSION_REQUEST, Server::RESPONSE},
        {Client::SELECTED_FILE_REQUEST, Server::RESPONSE},
        {Client::SPOT_COMMAND, Server::COMMAND_RESULT},
        {Client::OPEN_PROJECT_REQUEST, Server::COMMAND_RESULT},
    };

    for (const auto& c : cases)
    {
        PendingRequest request;
        request.message = client_requests::simple (c.request);

        for (const auto type : {Server::VERSION, Server::RESPONSE, Server::COMMAND_RESULT, Server::ERROR})
        {
            Server reply;
            reply.set_type (type);
            const auto stray = reply_kinds::strayKind (request, reply.SerializeAsString());
            EXPECT_EQ (stray.empty(), type == c.accepted) << c.request << " answered by " << type << ": " << stray;
        }
    }

    // Raw bytes that form a request are held to the same rule; others take any reply.
    PendingRequest raw;
    raw.isRaw = true;
    raw.rawPayload = std::string ("\x08\x03", 2);
    Server spotResult;
    spotResult.set_type (Server::COMMAND_RESULT);
    EXPECT_EQ (reply_kinds::strayKind (raw, spotResult.SerializeAsString()), "command-result");
    raw.rawPayload = std::string ("\x08\x07", 2);
    EXPECT_EQ (reply_kinds::strayKind (raw, spotResult.SerializeAsString()), "");
}

TEST (ClientTrust, ASpotFailureNamingAnotherFileAnswersAnotherRequest)
{
    const auto spot = [] (const std::string& file)
    {
        PendingRequest request;
        request.message = client_requests::spot (file, {});
        request.label = file;
        return request;
    };
    const auto failure = [] (const std::string& text)
    {
        BVReaper::ServerMessage reply;
        reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);
        reply.mutable_error()->set_description (text);
        return reply.SerializeAsString();
    };

    struct Case
    {
        std::string sent;
        std::string reply;                // the failure text
        std::optional<std::string> other; // the other file it names, if it names one
    };

    const Case cases[] = {
        {"/s/door.wav", "Unable to find source file:/s/door.wav", std::nullopt},
        {"/s/door.wav", "Unable to find source file:/s/window.wav", "/s/window.wav"},
        {"/s/door.wav", "Unable to find source file:/s/door.wav2", "/s/door.wav2"},
        {"", "Unable to find source file:", std::nullopt},
        {"/s/door.wav", "Unable to find source file:", ""},
        {"/s/door.wav", "No track", std::nullopt},
        {"/s/door.wav", "Invalid play rate: must be between 0.01 and 100", std::nullopt},
        // The extension quotes a name that is not UTF-8 with U+FFFD for each stray byte.
        {"/s/d\xf6or.wav", "Unable to find source file:/s/d\xEF\xBF\xBDor.wav", std::nullopt},
        {"/s/\xc3", "Unable to find source file:/s/\xEF\xBF\xBD", std::nullopt},
        {"/s/d\xc3\xb6or.wav", "Unable to find source file:/s/d\xc3\xb6or.wav", std::nullopt},
        {"/s/d\xc3\xb6or.wav", "Unable to find source file:/s/d\xEF\xBF\xBDor.wav", "/s/d\xEF\xBF\xBDor.wav"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::PrintToString (c.sent) + " answered by " + testing::PrintToString (c.reply));
        EXPECT_EQ (reply_kinds::otherFileNamed (spot (c.sent), failure (c.reply)), c.other);
    }

    // Only a spot's failure is judged: a success, or another request's reply, is not.
    BVReaper::ServerMessage success;
    success.set_type (BVReaper::ServerMessage::COMMAND_RESULT);
    EXPECT_EQ (reply_kinds::otherFileNamed (spot ("/s/door.wav"), success.SerializeAsString()), std::nullopt);

    PendingRequest explore;
    explore.message = client_requests::explore ("/s/door.wav");
    EXPECT_EQ (reply_kinds::otherFileNamed (explore, failure ("Unable to find source file:/s/x.wav")), std::nullopt);
}
