#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ClientRuns.h"
#include "ExtensionHarness.h"
#include "HostModel.h"

namespace client_testing
{
// The real extension loaded into the stand-in REAPER of this process (the harness: a fresh
// HOME, so its log is the test's own, and the fixed pipe's lock), with a project of two
// tracks with the second selected, and a main loop whose timers the test thread runs while
// bv-client talks to the extension.
class LoadedExtensionTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs just before the extension is loaded, with the fixed pipe's lock held.
    virtual void beforeLoad()
    {
    }

    // Runs bv-client with these arguments (the program's path is added) while the
    // host's main loop keeps going.
    RunResult client (const std::vector<std::string>& arguments, const std::string& workingDirectory = {});

    // A short mono WAV in the test's folder; its absolute path.
    std::string audioFile (const std::string& name, double seconds, int sampleRate = 48000);

    // A UserPlugins folder in the test's folder holding this build's module, as the doctor
    // finds an installation; its path.
    std::string installedPlugins() const;

    // The extension's log file as it is now.
    std::string logText() const;

    // Keeps the main loop going until the log holds text, or a second has passed.
    bool waitForLog (const std::string& text);

    std::string path (const std::string& name) const;

    std::unique_ptr<testing_support::ExtensionHarness> harness;
    reaper_host::HostModel& model = reaper_host::HostModel::current();
    std::filesystem::path folder; // the test's home folder
};
} // namespace client_testing
