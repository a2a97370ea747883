#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ClientProcess.h"
#include "ExtensionLibrary.h"
#include "FixedPipeLock.h"
#include "HostModel.h"
#include "MainLoop.h"

namespace client_testing
{
// The real extension loaded into the stand-in REAPER of this process, with a fresh HOME
// (so its log is the test's own), a project of two tracks with the second selected, and
// a main loop whose timers the test thread runs while bv-client talks to the extension.
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
    ClientRun client (const std::vector<std::string>& arguments, const std::string& workingDirectory = {});

    // A short mono WAV in the test's folder; its absolute path.
    std::string audioFile (const std::string& name, double seconds, int sampleRate = 48000);

    // The extension's log file as it is now.
    std::string logText() const;

    // Keeps the main loop going until the log holds text, or a second has passed.
    bool waitForLog (const std::string& text);

    std::string path (const std::string& name) const;

    reaper_host::HostModel& model = reaper_host::HostModel::current();
    std::unique_ptr<reaper_host::ExtensionLibrary> library;
    std::unique_ptr<reaper_host::MainLoop> loop;
    std::filesystem::path folder;

private:
    // Other test runs on this machine use the same fixed pipe; one at a time.
    std::unique_ptr<testing_support::FixedPipeLock> pipeLock;
    std::string previousHome;
    bool hadHome = false;
};
} // namespace client_testing
