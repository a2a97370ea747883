#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Subprocess.h"
#include "TempDirectory.h"

using testing_support::runProgram;
using testing_support::Subprocess;
using namespace std::chrono_literals;

namespace
{
const std::string sim = REAPER_SIM_PATH;
const std::string extension = TEST_EXTENSION_PATH;

nlohmann::json readJson (const std::string& path)
{
    std::ifstream file (path);
    return nlohmann::json::parse (file, nullptr, false);
}
} // namespace

TEST (ReaperSimProgram, LoadsTheExtensionRunsItsTimerAndUnloadsAtEndOfScript)
{
    testing_support::TempDirectory temp;
    const auto script = temp.path ("run.txt");
    const auto json = temp.path ("project.json");
    std::ofstream (script) << "# the extension's timer calls UpdateArrange on every tick\n"
                              "wait 60\n"
                              "json "
                           << json << "\nstatus\n";

    const auto result = runProgram ({sim, "--period", "1", "--tracks", "1", "--script", script, extension});

    EXPECT_EQ (result.exitCode, 0) << result.output;
    EXPECT_NE (result.output.find ("loaded " + extension), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("unloaded " + extension), std::string::npos) << result.output;
    EXPECT_EQ (result.output.find ("warning"), std::string::npos) << result.output;

    const auto project = readJson (json);
    ASSERT_FALSE (project.is_discarded());
    EXPECT_EQ (project["registeredTimers"], 1);
    EXPECT_GE (project["arrangeRedraws"].get<int>(), 20) << "timer ticks at a 1 ms period over 60 ms";
}

TEST (ReaperSimProgram, StandardInputCommandsAndEndOfInputUnload)
{
    const auto result = runProgram ({sim, "--track", "Dialogue", "--select-track", "1", "--cursor", "10", "--time-selection",
                                     "8", "12", "--project-path", "/home/me/Film", extension},
                                    "add-item 1 10 2\ndraw\njournal\n");

    EXPECT_EQ (result.exitCode, 0) << result.output;
    EXPECT_NE (result.output.find ("Project /home/me/Film   cursor 10.000 s   time selection 8.000 - 12.000 s"), std::string::npos)
        << result.output;
    EXPECT_NE (result.output.find ("1*Dialogue"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("Register(\"timer\", function) -> 1"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("unloaded " + extension), std::string::npos) << result.output;
}

TEST (ReaperSimProgram, WaitsForTheExtensionToAddItems)
{
    const auto result = runProgram ({sim, "--period", "1", "--tracks", "1", "--draw", extension},
                                    "wait-items 3 5000\nwait-items 4 50\necho not reached\n",
                                    {"BV_TEST_EXTENSION_MODE=add-items"});

    EXPECT_EQ (result.exitCode, 1) << result.output;
    EXPECT_NE (result.output.find ("stdin:2: timed out after 50 ms waiting for 4 items (have 3)"), std::string::npos) << result.output;
    EXPECT_EQ (result.output.find ("not reached"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("item3"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("unloaded"), std::string::npos) << result.output;
}

TEST (ReaperSimProgram, InterruptUnloadsCleanly)
{
    Subprocess process ({sim, "--period", "1", extension});
    ASSERT_TRUE (process.started());
    ASSERT_TRUE (process.waitForOutput ("loaded " + extension, 5s)) << process.output();

    process.sendSignal (SIGINT);
    ASSERT_TRUE (process.waitForOutput ("unloaded", 5s)) << process.output();
    EXPECT_EQ (process.finish (5s), 130) << process.output();
    EXPECT_NE (process.output().find ("interrupted: unloading"), std::string::npos);
}

TEST (ReaperSimProgram, LoadsEveryExtensionOfAPluginsFolder)
{
    testing_support::TempDirectory temp;
    std::filesystem::create_symlink (extension, temp.path ("reaper_test_extension.so"));
    std::ofstream (temp.path ("readme.txt")) << "not a plug-in\n";

    const auto result = runProgram ({sim, "--plugins-dir", temp.directory()}, "status\n");

    EXPECT_EQ (result.exitCode, 0) << result.output;
    EXPECT_NE (result.output.find ("loaded 1 extension(s) from"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("timers: 1"), std::string::npos) << result.output;
}

TEST (ReaperSimProgram, SetupErrorsExitNonZeroWithAClearMessage)
{
    testing_support::TempDirectory temp;

    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };

    const Case cases[] = {
        {{sim, "/nonexistent/reaper_missing.so"}, 2, "reaper-sim: error: cannot load /nonexistent/reaper_missing.so"},
        {{sim, TEST_NOENTRY_PATH}, 2, std::string ("reaper-sim: error: ") + TEST_NOENTRY_PATH + " has no ReaperPluginEntry"},
        {{sim, "--script", temp.path ("missing.txt"), extension}, 2, "reaper-sim: error: cannot read script"},
        {{sim, "--caller-version", "0x20D", extension}, 2, "refused to load"},
        {{sim, "--plugins-dir", temp.path ("nowhere")}, 2, "cannot read plug-ins folder"},
        {{sim, "--cursor", "soon"}, 2, "--cursor"},
        {{sim, "--time-selection", "5", "1"}, 2, "start is after end"},
    };

    for (const auto& c : cases)
    {
        const auto result = runProgram (c.arguments, "status\n");
        EXPECT_EQ (result.exitCode, c.exitCode) << result.output;
        EXPECT_NE (result.output.find (c.message), std::string::npos) << result.output;
        EXPECT_EQ (result.output.find ("timers:"), std::string::npos) << "no command may run after a setup error";
    }
}

TEST (ReaperSimProgram, BadScriptCommandStopsWithItsLineAndUnloads)
{
    testing_support::TempDirectory temp;
    const auto script = temp.path ("bad.txt");
    std::ofstream (script) << "add-track\n\ncursor ten\necho not reached\n";

    const auto result = runProgram ({sim, "--script", script, extension});

    EXPECT_EQ (result.exitCode, 1) << result.output;
    EXPECT_NE (result.output.find (script + ":3: usage: cursor SECONDS"), std::string::npos) << result.output;
    EXPECT_EQ (result.output.find ("not reached"), std::string::npos) << result.output;
    EXPECT_NE (result.output.find ("unloaded " + extension), std::string::npos) << result.output;
}
