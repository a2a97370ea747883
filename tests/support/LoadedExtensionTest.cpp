#include "LoadedExtensionTest.h"

#include <fcntl.h>
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
    testing_support::HarnessOptions options;
    options.oneSelectedTrack = false;
    harness = std::make_unique<testing_support::ExtensionHarness> (options);
    folder = harness->home().path();

    model.addTrack ("Music");
    model.addTrack ("Effects");
    model.selectTracks ({1});
    model.setCursor (10);
    model.setProjectPath ("/home/editor/Film");

    ASSERT_FALSE (anotherExtensionServesThePipe()) << "another process reads /tmp/bv_reaper_in; its replies would mix with ours";
    beforeLoad();

    const auto loaded = harness->load();
    ASSERT_TRUE (loaded.ok()) << loaded.message;
}

void LoadedExtensionTest::TearDown()
{
    EXPECT_EQ (harness->unload(), 0);

    // The extension removes its FIFOs when it unloads.
    EXPECT_FALSE (std::filesystem::exists ("/tmp/bv_reaper_in"));
    EXPECT_FALSE (std::filesystem::exists ("/tmp/bv_reaper_out"));

    harness.reset();
}

RunResult LoadedExtensionTest::client (const std::vector<std::string>& arguments, const std::string& workingDirectory)
{
    std::vector<std::string> command{BV_CLIENT_PATH};
    command.insert (command.end(), arguments.begin(), arguments.end());

    Subprocess process (command, clientSetup (workingDirectory));
    return process.finish (std::chrono::seconds (20), [this]
                           { harness->mainLoop().tickIfDue(); });
}

std::string LoadedExtensionTest::audioFile (const std::string& name, double seconds, int sampleRate)
{
    const auto file = path (name);
    const auto frames = static_cast<std::int64_t> (seconds * sampleRate + 0.5);
    EXPECT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::wav16, sampleRate, 1, frames));
    return file;
}

std::string LoadedExtensionTest::installedPlugins() const
{
    const auto plugins = folder / "UserPlugins";
    std::filesystem::create_directories (plugins);
    std::filesystem::copy_file (BV_EXTENSION_PATH, plugins / "reaper_belvanta_extension.so");
    return plugins.string();
}

std::string LoadedExtensionTest::logText() const
{
    return harness->logText();
}

bool LoadedExtensionTest::waitForLog (const std::string& text)
{
    return harness->pumpUntil ([&]
                               { return logText().find (text) != std::string::npos; },
                               std::chrono::seconds (1));
}

std::string LoadedExtensionTest::path (const std::string& name) const
{
    return harness->home().file (name);
}
} // namespace client_testing
