// What bv-client refuses to talk through: files in /tmp that are not this user's own private
// FIFOs, a lock another client holds or someone else planted, and replies of the wrong kind.
// Each test has its own pipe name; nothing here needs the extension.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "ClientLock.h"
#include "ClientRequests.h"
#include "ClientRuns.h"
#include "FifoTrust.h"
#include "ForgedReply.h"
#include "LogFileLines.h"
#include "ReplyKinds.h"

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
        unlink (ClientLock::pathFor (name).c_str());
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
        {"FIFOs of another user", [] (const PlantedPipe& p, const std::optional<OtherUser>& user)
         { return asUser (*user, [&]
                          { return makeFifo (p.out, 0666) && makeFifo (p.in, 0666); }); },
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
        {"a FIFO", [] (const std::string& path)
         { return makeFifo (path, 0600); },
         "is not a regular file"},
        {"another user's file", [&] (const std::string& path)
         { return asUser (*other, [&]
                          { return makeFile (path, "", 0644); }); },
         "belongs to another user (nobody)", true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);

        if (c.needsOtherUser && !other)
            continue;

        const PlantedPipe pipe ("lock" + std::to_string (&c - cases));
        const auto lockPath = ClientLock::pathFor (pipe.name);
        ASSERT_TRUE (c.plant (lockPath));

        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe.name, "--timeout", "200", "version"});

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_NE (run.err.find ("refusing the lock file " + lockPath + ": it " + c.says), std::string::npos) << run.err;

        struct stat info;
        EXPECT_EQ (lstat (lockPath.c_str(), &info), 0) << "a planted lock file was removed";
    }
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
