#include "LoadedExtensionTest.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "AudioFileWriter.h"

namespace client_testing
{
namespace
{
// Leftover FIFOs are harmless (the extension reuses them); a reader on them is not.
bool anotherExtensionServesThePipe()
{
    const int fd = ::open ("/tmp/bv_reaper_in", O_WRONLY | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
        return false;

    ::close (fd);
    return true;
}
} // namespace

void LoadedExtensionTest::SetUp()
{
    auto pattern = (std::filesystem::temp_directory_path() / "bv-client-test-XXXXXX").string();
    ASSERT_NE (mkdtemp (pattern.data()), nullptr);
    folder = pattern;

    if (const char* home = std::getenv ("HOME"))
    {
        hadHome = true;
        previousHome = home;
    }

    // The extension's log goes below HOME: each test reads only its own.
    setenv ("HOME", folder.c_str(), 1);
    unsetenv ("XDG_CONFIG_HOME");

    model.reset();
    model.timers().clear();
    model.addTrack ("Music");
    model.addTrack ("Effects");
    model.selectTracks ({1});
    model.setCursor (10);
    model.setProjectPath ("/home/editor/Film");

    pipeLock = std::make_unique<testing_support::FixedPipeLock>();
    ASSERT_FALSE (anotherExtensionServesThePipe()) << "another process reads /tmp/bv_reaper_in; its replies would mix with ours";
    beforeLoad();

    library = std::make_unique<reaper_host::ExtensionLibrary> (model);
    const auto loaded = library->load (BV_EXTENSION_PATH);
    ASSERT_TRUE (loaded.ok()) << loaded.message;
    loop = std::make_unique<reaper_host::MainLoop> (model.timers(), std::chrono::milliseconds (1));
}

void LoadedExtensionTest::TearDown()
{
    if (library != nullptr)
    {
        EXPECT_EQ (library->unload(), 0);
    }

    library.reset();
    loop.reset();

    // The extension removes its FIFOs when it unloads.
    EXPECT_FALSE (std::filesystem::exists ("/tmp/bv_reaper_in"));
    EXPECT_FALSE (std::filesystem::exists ("/tmp/bv_reaper_out"));

    // Frees the project's sources now rather than after the host's registry of them.
    model.reset();

    if (hadHome)
        setenv ("HOME", previousHome.c_str(), 1);
    else
        unsetenv ("HOME");

    std::error_code ignored;
    std::filesystem::remove_all (folder, ignored);
    pipeLock.reset();
}

ClientRun LoadedExtensionTest::client (const std::vector<std::string>& arguments, const std::string& workingDirectory)
{
    std::vector<std::string> command{BV_CLIENT_PATH};
    command.insert (command.end(), arguments.begin(), arguments.end());

    ClientProcess process (command, workingDirectory);
    return process.runToEnd ([this]
                             { loop->tickIfDue(); },
                             std::chrono::seconds (20));
}

std::string LoadedExtensionTest::audioFile (const std::string& name, double seconds, int sampleRate)
{
    const auto file = path (name);
    const auto frames = static_cast<std::int64_t> (seconds * sampleRate + 0.5);
    EXPECT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::wav16, sampleRate, 1, frames));
    return file;
}

std::string LoadedExtensionTest::logText() const
{
    std::ifstream in (folder / ".config" / "Belvanta" / "Reaper.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool LoadedExtensionTest::waitForLog (const std::string& text)
{
    return loop->runUntil ([&]
                           { return logText().find (text) != std::string::npos; },
                           std::chrono::seconds (1));
}

std::string LoadedExtensionTest::path (const std::string& name) const
{
    return (folder / name).string();
}
} // namespace client_testing
