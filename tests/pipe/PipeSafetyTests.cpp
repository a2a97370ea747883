#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PipeClient.h"
#include "PipeTestSupport.h"

using namespace pipe_testing;

namespace
{
class PipeSafetyTest : public ::testing::Test
{
protected:
    const std::string name = uniquePipeName();
    const std::string inPath = "/tmp/" + name + "_in";
    const std::string outPath = "/tmp/" + name + "_out";
    const std::string decoy = "/tmp/" + name + "_decoy";

    void TearDown() override
    {
        for (const auto& path : {inPath, outPath, decoy})
            ::unlink (path.c_str());
    }

    void writeDecoy()
    {
        std::ofstream (decoy) << "precious";
    }

    std::string decoyContents()
    {
        std::ifstream in (decoy);
        return std::string (std::istreambuf_iterator<char> (in), {});
    }

    static bool isRegularFile (const std::string& path)
    {
        struct stat info;
        return ::lstat (path.c_str(), &info) == 0 && S_ISREG (info.st_mode);
    }

    static bool isSymlink (const std::string& path)
    {
        struct stat info;
        return ::lstat (path.c_str(), &info) == 0 && S_ISLNK (info.st_mode);
    }
};
} // namespace

TEST_F (PipeSafetyTest, UnsafePathsAreRefusedWithOneLogLineAndLeftAlone)
{
    struct Case
    {
        const char* what;
        std::function<void()> plant;
        std::string path;
        const char* reason;
        std::function<bool()> untouched;
        bool otherWasThere = false;
    };

    const Case cases[] = {
        {"symlink at _in", [&]
         { writeDecoy(); ASSERT_EQ (::symlink (decoy.c_str(), inPath.c_str()), 0); },
         inPath, "symbolic link", [&]
         { return isSymlink (inPath) && isRegularFile (decoy) && decoyContents() == "precious"; }},
        {"symlink at _out", [&]
         { writeDecoy(); ASSERT_EQ (::symlink (decoy.c_str(), outPath.c_str()), 0); },
         outPath, "symbolic link", [&]
         { return isSymlink (outPath) && isRegularFile (decoy) && decoyContents() == "precious"; }},
        {"dangling symlink at _in", [&]
         { ASSERT_EQ (::symlink (decoy.c_str(), inPath.c_str()), 0); },
         inPath, "symbolic link", [&]
         { return isSymlink (inPath) && !pathExists (decoy); }},
        {"regular file at _in", [&]
         { std::ofstream (inPath) << "data"; },
         inPath, "not a FIFO", [&]
         { return isRegularFile (inPath); }},
        {"directory at _out", [&]
         { ASSERT_EQ (::mkdir (outPath.c_str(), 0700), 0); },
         outPath, "not a FIFO", [&]
         { struct stat s; return ::lstat (outPath.c_str(), &s) == 0 && S_ISDIR (s.st_mode); }},
        // Both paths are looked at before either is touched: the FIFO of ours at _in keeps
        // its mode, which making the pipe would have set to 0600.
        {"directory at _out beside a FIFO of ours open to the group at _in", [&]
         {
             ASSERT_EQ (::mkfifo (inPath.c_str(), 0600), 0);
             ASSERT_EQ (::chmod (inPath.c_str(), 0640), 0);
             ASSERT_EQ (::mkdir (outPath.c_str(), 0700), 0); },
         outPath, "not a FIFO", [&]
         { struct stat s; return ::lstat (inPath.c_str(), &s) == 0 && S_ISFIFO (s.st_mode) && (s.st_mode & 07777) == 0640; },
         true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        c.plant();

        RecordingConnection connection (false);
        const auto made = connection.makePipe (name, 1000);
        EXPECT_FALSE (made.wasOk());
        EXPECT_FALSE (connection.isConnected());
        EXPECT_TRUE (c.untouched());

        const std::vector<std::string> lines{made.errorMessage()};
        EXPECT_NE (lines[0].find (c.path), std::string::npos) << lines[0];
        EXPECT_NE (lines[0].find (c.reason), std::string::npos) << lines[0];

        // The FIFO the refused call made for the other name is not left behind (one that was
        // there before stays, untouched).
        if (c.path == outPath)
            EXPECT_EQ (pathExists (inPath), c.otherWasThere);
        else
            EXPECT_FALSE (pathExists (outPath));

        ::rmdir (outPath.c_str());
        for (const auto& path : {inPath, outPath, decoy})
            ::unlink (path.c_str());
    }
}

TEST_F (PipeSafetyTest, FifoOfAnotherUserIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a FIFO to another user";

    ASSERT_EQ (::mkfifo (inPath.c_str(), 0666), 0);
    ASSERT_EQ (::chown (inPath.c_str(), 65534, 65534), 0);

    RecordingConnection connection (false);
    const auto made = connection.makePipe (name, 1000);
    EXPECT_FALSE (made.wasOk());

    const std::vector<std::string> lines{made.errorMessage()};
    EXPECT_NE (lines[0].find ("another user"), std::string::npos) << lines[0];

    struct stat info;
    ASSERT_EQ (::lstat (inPath.c_str(), &info), 0);
    EXPECT_EQ (info.st_uid, 65534u);
}

TEST_F (PipeSafetyTest, NewFifosAreForTheOwnerOnly)
{
    // Whatever the umask takes away or lets through.
    const auto oldMask = ::umask (0277);
    RecordingConnection connection (true);
    const bool created = connection.makePipe (name, 1000).wasOk();
    ::umask (oldMask);
    ASSERT_TRUE (created);

    for (const auto& path : {inPath, outPath})
    {
        struct stat info;
        ASSERT_EQ (::lstat (path.c_str(), &info), 0);
        EXPECT_TRUE (S_ISFIFO (info.st_mode)) << path;
        EXPECT_EQ (info.st_mode & 0777, 0600u) << path;
        EXPECT_EQ (info.st_uid, geteuid()) << path;
    }
}

TEST_F (PipeSafetyTest, ExistingFifosOfOursAreReusedUnlessTheyMustNotExist)
{
    // Left by an earlier run, writable by everyone.
    ASSERT_EQ (::mkfifo (inPath.c_str(), 0600), 0);
    ASSERT_EQ (::mkfifo (outPath.c_str(), 0600), 0);
    ASSERT_EQ (::chmod (inPath.c_str(), 0666), 0);
    ASSERT_EQ (::chmod (outPath.c_str(), 0666), 0);

    {
        RecordingConnection strict (false);
        const auto made = strict.makePipe (name, 1000, true);
        EXPECT_FALSE (made.wasOk());
        EXPECT_NE (made.errorMessage().find ("already exists"), std::string::npos);
        EXPECT_TRUE (pathExists (inPath));
    }

    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    for (const auto& path : {inPath, outPath})
    {
        struct stat info;
        ASSERT_EQ (::lstat (path.c_str(), &info), 0);
        EXPECT_EQ (info.st_mode & 0777, 0600u) << path;
    }

    PipeClient client;
    ASSERT_TRUE (client.open (name, 1000));
    ASSERT_TRUE (client.send ("reused", 1000));
    EXPECT_EQ (client.receive (2000), std::optional<std::string> ("re:reused"));
}

TEST_F (PipeSafetyTest, EmptyPipeNameIsRefused)
{
    RecordingConnection connection (false);
    const auto made = connection.makePipe ("", 1000);
    EXPECT_FALSE (made.wasOk());
    EXPECT_EQ (made.errorMessage(), "the pipe name is empty");
    EXPECT_FALSE (pathExists ("/tmp/_in"));
}
