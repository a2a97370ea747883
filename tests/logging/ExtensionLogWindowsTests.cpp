// The log file on Windows, under Wine: in the user's roaming AppData folder, whose name has
// letters outside ASCII in the suites' Wine prefix (cmake/toolchains/wine-run).

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

#include "HomeFolder.h"
#include "LogLocation.h"
#include "logging/ExtensionLog.h"
#include "logging/LogFile.h"

namespace
{
namespace fs = std::filesystem;

fs::path pathOf (const std::string& utf8)
{
    return fs::u8path (utf8);
}

std::string readFile (const std::string& path)
{
    std::ifstream in (pathOf (path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell command in the roaming AppData folder, through Wine's way of starting a Unix
// program, and waits until it has run (Wine does not wait for a Unix program): false where
// there is no such shell (Windows itself).
bool unixCommandInRoaming (const std::string& command)
{
    const auto marker = pathOf (home_folder::path() + "/bv-command-done");
    auto line = fs::u8path ("Z:\\bin\\sh -c \"" + command + " ; touch bv-command-done\"").wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof (startup);
    PROCESS_INFORMATION process{};
    const auto roaming = pathOf (home_folder::path()).wstring();

    if (::CreateProcessW (nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, roaming.c_str(), &startup, &process) == 0)
        return false;

    ::CloseHandle (process.hProcess);
    ::CloseHandle (process.hThread);

    for (int waited = 0; !fs::exists (marker) && waited < 1000; ++waited)
        ::Sleep (10);

    return fs::remove (marker);
}

class ExtensionLogWindowsTest : public ::testing::Test
{
protected:
    ExtensionLogWindowsTest()
    {
        clean();
    }
    ~ExtensionLogWindowsTest() override
    {
        clean();
    }

    // Wine's links are Unix symbolic links, which it neither removes nor sees once dangling.
    void clean()
    {
        if (unixCommandInRoaming ("rm -rf Belvanta bv-elsewhere"))
            return;

        ::RemoveDirectoryW (pathOf (folder).c_str());
        std::error_code ignored;
        fs::remove_all (pathOf (folder), ignored);
        fs::remove_all (pathOf (elsewhere), ignored);
    }

    const std::string log = log_location::path();
    const std::string folder = log.substr (0, log.rfind ('/'));
    const std::string elsewhere = home_folder::path() + "/bv-elsewhere";
};
} // namespace

// Made with its folder, written, cut at the start and made again once removed, all through
// the wide-character names of a folder that is not ASCII.
TEST_F (ExtensionLogWindowsTest, LivesInTheNonAsciiAppDataFolder)
{
    ASSERT_EQ (log, home_folder::path() + "/Belvanta/Reaper.txt");
    ASSERT_NE (log.find ("\xc3\xab"), std::string::npos) << "the Wine user's folder is ASCII: " << log;

    {
        ExtensionLog first (log, {}, 131072);
        first.logMessage ("pipe created");
    }
    EXPECT_NE (readFile (log).find ("\r\npipe created\r\n"), std::string::npos) << readFile (log);

    std::ofstream (pathOf (log), std::ios::binary | std::ios::trunc) << std::string (200000, 'x') + "\r\n" + std::string (100000, 'y');
    ExtensionLog second (log, {}, 131072);
    const auto trimmed = readFile (log);
    EXPECT_LE (trimmed.size(), 131072u + 200);
    EXPECT_EQ (trimmed.rfind ("\r\n" + std::string (100000, 'y'), 0), 0u);

    fs::remove (pathOf (log));
    second.logMessage ("after removal");
    EXPECT_NE (readFile (log).find ("Log started: "), std::string::npos);
    EXPECT_NE (readFile (log).find ("after removal\r\n"), std::string::npos);
}

// A reparse point (here a directory symbolic link) as the log's folder is refused, as a
// symbolic link is on the other systems, and the lines go elsewhere.
TEST_F (ExtensionLogWindowsTest, ARefusedReparsePointFolderIsNeverWrittenThrough)
{
    fs::create_directories (pathOf (elsewhere));
    ::CreateSymbolicLinkW (pathOf (folder).c_str(), pathOf (elsewhere).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);

    // Wine's CreateSymbolicLinkW makes nothing; its reparse points are Unix symbolic links,
    // which a Unix program it starts can make.
    if (::GetFileAttributesW (pathOf (folder).c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        ASSERT_TRUE (unixCommandInRoaming ("ln -s bv-elsewhere Belvanta"));
    }

    const auto attributes = ::GetFileAttributesW (pathOf (folder).c_str());
    ASSERT_TRUE (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);

    LogFile file;
    bool created = false;
    std::string refusal, notice;
    EXPECT_EQ (file.open (log, created, refusal, notice), LogFile::Open::refused);
    EXPECT_EQ (refusal, folder + " is a reparse point (a link or a junction)");

    ExtensionLog (log, {}, 131072).logMessage ("spotted");

    EXPECT_FALSE (fs::exists (pathOf (elsewhere + "/Reaper.txt")));
    EXPECT_FALSE (fs::exists (pathOf (elsewhere + "/Reaper.own.txt")));
}
