// The FIFO files in /tmp are open to tampering: by the user's own programs (deleting or
// replacing them while the extension runs) and, before the extension creates them, by any
// local user who plants something at their names. The extension must refuse what is not a
// FIFO of the current user, never follow or write through it, and never hang REAPER.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "LogFileLines.h"
#include "PacketBuilder.h"
#include "ProcessResources.h"
#include "ReliabilityTesting.h"

using namespace reliability_testing;
using namespace std::chrono_literals;
using process_resources::pathExists;

namespace
{
constexpr uid_t kOtherUser = 65534; // nobody

void writeFile (const std::string& path, const std::string& text)
{
    std::ofstream (path, std::ios::binary) << text;
}

// Removes whatever a test planted at the FIFO paths, however the test ended.
struct PlantedPaths
{
    ~PlantedPaths()
    {
        std::remove (ExtensionHarness::requestFifo);
        std::remove (ExtensionHarness::replyFifo);
    }
};

// Writes one request packet into the request FIFO without opening the reply FIFO, for when
// the reply FIFO is not one to open.
bool writeRequest (const std::string& payload)
{
    const int fd = ::open (ExtensionHarness::requestFifo, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);

    if (fd < 0)
        return false;

    const auto packet = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
    const bool written = ::write (fd, packet.data(), packet.size()) == (ssize_t) packet.size();
    ::close (fd);
    return written;
}

bool versionRoundTrip (ExtensionHarness& harness)
{
    bool answered = false;

    ClientThread client ([&]
                         {
        PipeClient pipe;
        if (pipe.open (ExtensionHarness::pipeName, 2000) && pipe.send (request_payloads::version(), 2000))
            if (auto reply = pipe.receive (3000))
                answered = request_payloads::mismatch (*reply, {request_payloads::ExpectedReply::Kind::version, {}}).empty(); });

    harness.pumpUntil ([&]
                       { return client.done(); },
                       10s);
    client.join();
    return answered;
}
} // namespace

TEST (FifoTamperTest, FifosDeletedUnderARunningExtensionCostNothingAndAReloadServesAgain)
{
    PlantedPaths cleanup;
    ExtensionHarness harness (kTimedEmptyProject);
    ASSERT_TRUE (harness.load().ok());
    ASSERT_TRUE (versionRoundTrip (harness));

    ASSERT_EQ (::unlink (ExtensionHarness::requestFifo), 0);
    ASSERT_EQ (::unlink (ExtensionHarness::replyFifo), 0);
    harness.resetTickStatistics();

    // The extension makes them again (within 2 s) and carries on regardless.
    EXPECT_TRUE (versionRoundTrip (harness));
    harness.pumpFor (200ms);
    EXPECT_LT (harness.longestTick(), 250ms);

    harness.unload();
    EXPECT_FALSE (pathExists (ExtensionHarness::requestFifo));
    EXPECT_FALSE (pathExists (ExtensionHarness::replyFifo));

    ASSERT_TRUE (harness.load().ok());
    EXPECT_TRUE (versionRoundTrip (harness));
}

TEST (FifoTamperTest, AReplyFifoReplacedUnderARunningExtensionIsNeverWrittenThrough)
{
    struct Replacement
    {
        const char* name;
        bool symlink;
    };

    for (const auto& replacement : {Replacement{"a symbolic link to a file", true}, Replacement{"a regular file", false}})
    {
        SCOPED_TRACE (replacement.name);
        PlantedPaths cleanup;
        ExtensionHarness harness (kTimedEmptyProject);
        ASSERT_TRUE (harness.load().ok());

        const auto victim = harness.home().file ("victim.txt");
        writeFile (victim, "precious");
        ASSERT_EQ (::unlink (ExtensionHarness::replyFifo), 0);

        if (replacement.symlink)
        {
            ASSERT_EQ (::symlink (victim.c_str(), ExtensionHarness::replyFifo), 0);
        }
        else
            writeFile (ExtensionHarness::replyFifo, "precious");

        harness.resetTickStatistics();
        ASSERT_TRUE (writeRequest (request_payloads::openInMediaExplorer ("/replaced")));
        ASSERT_TRUE (harness.pumpUntil ([&]
                                        { return harness.host().project().explorerRequests.size() == 1; },
                                        5s));

        // Refused at once: the reply is not waited for.
        EXPECT_LT (harness.longestTick(), 250ms);
        EXPECT_EQ (testing_support::readWholeFile (victim), "precious");

        if (!replacement.symlink)
        {
            EXPECT_EQ (testing_support::readWholeFile (ExtensionHarness::replyFifo), "precious");
        }

        // What is not its FIFO, the extension leaves where it is at unload.
        harness.unload();
        EXPECT_TRUE (pathExists (ExtensionHarness::replyFifo));
        EXPECT_FALSE (pathExists (ExtensionHarness::requestFifo));
        EXPECT_EQ (testing_support::readWholeFile (victim), "precious");
    }
}

TEST (FifoTamperTest, ARequestFifoReplacedByAnotherFifoOfOursIsTakenIntoUse)
{
    PlantedPaths cleanup;
    ExtensionHarness harness (kTimedEmptyProject);
    ASSERT_TRUE (harness.load().ok());

    ASSERT_EQ (::unlink (ExtensionHarness::requestFifo), 0);
    ASSERT_EQ (::mkfifo (ExtensionHarness::requestFifo, 0644), 0);
    harness.resetTickStatistics();

    // The extension notices the new FIFO and makes it private (a client refuses a FIFO that
    // others can open, so it waits for that), then reads it; nothing hangs meanwhile.
    const auto isPrivate = []
    {
        struct stat info;
        return ::lstat (ExtensionHarness::requestFifo, &info) == 0 && S_ISFIFO (info.st_mode) && (info.st_mode & 07777) == 0600;
    };
    EXPECT_TRUE (harness.pumpUntil (isPrivate, 3000ms));
    EXPECT_TRUE (versionRoundTrip (harness));
    EXPECT_LT (harness.longestTick(), 250ms);

    harness.unload();
    EXPECT_FALSE (pathExists (ExtensionHarness::requestFifo));
    EXPECT_FALSE (pathExists (ExtensionHarness::replyFifo));
}

TEST (FifoTamperTest, AnythingButOurOwnFifoPlantedBeforeLoadIsRefusedAndNeverFollowed)
{
    enum class Plant
    {
        symlinkToFile,
        danglingSymlink,
        regularFile,
        otherUsersFifo
    };

    struct Case
    {
        const char* name;
        Plant plant;
        const char* reason;
    };

    const std::vector<Case> cases = {
        {"a symbolic link to a file", Plant::symlinkToFile, "is a symbolic link"},
        {"a symbolic link to nothing", Plant::danglingSymlink, "is a symbolic link"},
        {"a regular file", Plant::regularFile, "exists and is not a FIFO"},
        {"a FIFO of another user", Plant::otherUsersFifo, "is a FIFO owned by another user"},
    };

    for (const auto* plantedAt : {ExtensionHarness::requestFifo, ExtensionHarness::replyFifo})
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE (std::string (c.name) + " at " + plantedAt);
            PlantedPaths cleanup;
            ExtensionHarness harness (kTimedEmptyProject);
            const auto target = harness.home().file ("target");
            const std::string other = plantedAt == std::string (ExtensionHarness::requestFifo) ? ExtensionHarness::replyFifo
                                                                                               : ExtensionHarness::requestFifo;

            switch (c.plant)
            {
                case Plant::symlinkToFile:
                    writeFile (target, "precious");
                    ASSERT_EQ (::symlink (target.c_str(), plantedAt), 0);
                    break;
                case Plant::danglingSymlink:
                    ASSERT_EQ (::symlink (target.c_str(), plantedAt), 0);
                    break;
                case Plant::regularFile:
                    writeFile (plantedAt, "precious");
                    ASSERT_EQ (::chmod (plantedAt, 0644), 0);
                    break;
                case Plant::otherUsersFifo:
                    if (::geteuid() != 0)
                    {
                        std::printf ("not run: making a FIFO of another user needs root\n");
                        continue;
                    }
                    ASSERT_EQ (::mkfifo (plantedAt, 0666), 0);
                    ASSERT_EQ (::chown (plantedAt, kOtherUser, kOtherUser), 0);
                    ASSERT_EQ (::chmod (plantedAt, 0666), 0);
                    break;
            }

            struct stat before;
            ASSERT_EQ (::lstat (plantedAt, &before), 0);

            // The load itself succeeds; the bridge lives on without a pipe and says why.
            ASSERT_TRUE (harness.load().ok());
            harness.pumpFor (20ms);
            const auto log = harness.logText();
            EXPECT_NE (log.find (std::string ("Pipe not created: ") + plantedAt + " " + c.reason), std::string::npos) << log;
            EXPECT_EQ (log.find ("pipe created"), std::string::npos);

            // Neither the planted file nor what a link points to was touched or made.
            struct stat after;
            ASSERT_EQ (::lstat (plantedAt, &after), 0);
            EXPECT_EQ (after.st_mode, before.st_mode);
            EXPECT_EQ (after.st_uid, before.st_uid);
            EXPECT_EQ (after.st_ino, before.st_ino);

            if (c.plant == Plant::symlinkToFile)
            {
                EXPECT_EQ (testing_support::readWholeFile (target), "precious");
            }
            if (c.plant == Plant::danglingSymlink)
            {
                EXPECT_FALSE (pathExists (target));
            }
            if (c.plant == Plant::regularFile)
            {
                EXPECT_EQ (testing_support::readWholeFile (plantedAt), "precious");
            }

            // The other FIFO, if this load made it, is not left behind.
            EXPECT_FALSE (pathExists (other));

            harness.unload();
            EXPECT_TRUE (pathExists (plantedAt));
            EXPECT_FALSE (pathExists (other));
        }
    }
}
