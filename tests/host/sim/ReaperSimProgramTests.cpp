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
                              "wait-calls UpdateArrange 20 5000\n"
                              "json "
                           << json << "\nstatus\n";

    const auto result = runProgram ({sim, "--period", "1", "--tracks", "1", "--script", script, extension});

    EXPECT_EQ (result.exitCode, 0) << result.out;
    EXPECT_NE (result.out.find ("loaded " + extension), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("unloaded " + extension), std::string::npos) << result.out;
    EXPECT_EQ (result.out.find ("warning"), std::string::npos) << result.out;

    const auto project = readJson (json);
    ASSERT_FALSE (project.is_discarded());
    EXPECT_EQ (project["registeredTimers"], 1);
    EXPECT_GE (project["arrangeRedraws"].get<int>(), 20) << "the script waited for 20 ticks";
}

TEST (ReaperSimProgram, StandardInputCommandsAndEndOfInputUnload)
{
    const auto result = runProgram ({sim, "--track", "Dialogue", "--select-track", "1", "--cursor", "10", "--time-selection",
                                     "8", "12", "--project-path", "/home/me/Film", extension},
                                    "add-item 1 10 2\ndraw\njournal\n");

    EXPECT_EQ (result.exitCode, 0) << result.out;
    EXPECT_NE (result.out.find ("Project /home/me/Film   cursor 10.000 s   time selection 8.000 - 12.000 s"), std::string::npos)
        << result.out;
    EXPECT_NE (result.out.find ("1*Dialogue"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("Register(\"timer\", function) -> 1"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("unloaded " + extension), std::string::npos) << result.out;
}

TEST (ReaperSimProgram, OptionsTakeOnlyTheirOwnValuesAndLeaveTheLibraryPath)
{
    testing_support::TempDirectory temp;
    const auto json = temp.path ("project.json");

    struct Case
    {
        std::vector<std::string> options; // given right before the library path
        std::vector<std::string> trackNames;
        std::vector<bool> selected;
        double selectionStart, selectionEnd;
    };

    const Case cases[] = {
        {{"--track", "A"}, {"A"}, {false}, 0, 0},
        {{"--track", "A", "--track", "B"}, {"A", "B"}, {false, false}, 0, 0},
        {{"--tracks", "2", "--select-track", "1"}, {"", ""}, {true, false}, 0, 0},
        {{"--track", "A", "--track", "B", "--select-track", "1", "--select-track", "2"}, {"A", "B"}, {true, true}, 0, 0},
        {{"--tracks", "1", "--time-selection", "4", "9"}, {""}, {false}, 4, 9},
        {{"--tracks", "1", "--fail", "AddMediaItemToTrack", "--withhold", "Main_OnCommand"}, {""}, {false}, 0, 0},
    };

    for (const auto& c : cases)
    {
        std::vector<std::string> arguments{sim, "--json", json};
        arguments.insert (arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back (extension);
        std::filesystem::remove (json);

        const auto result = runProgram (arguments, "status\n");
        const auto project = readJson (json);

        EXPECT_EQ (result.exitCode, 0) << c.options[0] << "\n"
                                       << result.out;
        EXPECT_NE (result.out.find ("loaded " + extension), std::string::npos) << result.out;
        ASSERT_FALSE (project.is_discarded()) << result.out;
        ASSERT_EQ (project["tracks"].size(), c.trackNames.size()) << project.dump();

        for (size_t i = 0; i < c.trackNames.size(); ++i)
        {
            EXPECT_EQ (project["tracks"][i]["name"], c.trackNames[i]) << project.dump();
            EXPECT_EQ (project["tracks"][i]["selected"], c.selected[i]) << project.dump();
        }

        EXPECT_EQ (project["timeSelection"]["start"], c.selectionStart);
        EXPECT_EQ (project["timeSelection"]["end"], c.selectionEnd);
    }
}

TEST (ReaperSimProgram, ALibraryNamedWithoutItsFolderIsTheOneInTheCurrentFolder)
{
    const std::filesystem::path library (extension);
    const auto result = runProgram ({"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" \"$2\"", library.parent_path().string(), sim,
                                     library.filename().string()},
                                    "status\n");

    EXPECT_EQ (result.exitCode, 0) << result.out;
    EXPECT_NE (result.out.find ("loaded ./" + library.filename().string()), std::string::npos) << result.out;
}

TEST (ReaperSimProgram, TypedMistakesAreShownAndQuitStillEndsTheSessionWell)
{
    struct Case
    {
        bool typed;
        std::string input;
        int exitCode;
        std::vector<std::string> shown;
    };

    // "\x04" is Ctrl-D, the end of typed input.
    const Case cases[] = {
        {true, "cursor ten\nfrobnicate\nstatus\nquit\n", 0, {"usage: cursor SECONDS", "frobnicate", "timers: 1"}},
        {true, "add-item 7 0 1\n\x04", 0, {"reaper-sim: error: no track 7"}},
        {true, "quit\n", 0, {}},
        {false, "cursor ten\nquit\n", 1, {"stdin:1: usage: cursor SECONDS"}},
    };

    for (const auto& c : cases)
    {
        testing_support::ProcessSetup setup;
        setup.terminalInput = c.typed;
        Subprocess process ({sim, "--tracks", "1", extension}, setup);
        ASSERT_TRUE (process.started());
        process.writeInput (c.input);
        // A terminal drops unread input when its other end closes: wait for the unload first.
        ASSERT_TRUE (process.waitForOutput ("unloaded " + extension, 5s)) << c.input << "\n"
                                                                          << process.out();
        EXPECT_EQ (process.finish (5s).exitCode, c.exitCode) << c.input << "\n"
                                                             << process.out();

        for (const auto& text : c.shown)
            EXPECT_NE (process.out().find (text), std::string::npos) << c.input << "\n"
                                                                     << process.out();
    }
}

TEST (ReaperSimProgram, WaitsForTheExtensionToAddItems)
{
    const auto result = runProgram ({sim, "--period", "1", "--tracks", "1", "--draw", extension},
                                    "wait-items 3 5000\nwait-items 4 50\necho not reached\n",
                                    testing_support::withEnvironment ({"BV_TEST_EXTENSION_MODE=add-items"}));

    EXPECT_EQ (result.exitCode, 1) << result.out;
    EXPECT_NE (result.out.find ("stdin:2: timed out after 50 ms waiting for 4 items (have 3)"), std::string::npos) << result.out;
    EXPECT_EQ (result.out.find ("not reached"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("item3"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("unloaded"), std::string::npos) << result.out;
}

TEST (ReaperSimProgram, InterruptUnloadsCleanly)
{
    Subprocess process ({sim, "--period", "1", extension});
    ASSERT_TRUE (process.started());
    ASSERT_TRUE (process.waitForOutput ("loaded " + extension, 5s)) << process.out();

    process.sendSignal (SIGINT);
    ASSERT_TRUE (process.waitForOutput ("unloaded", 5s)) << process.out();
    EXPECT_EQ (process.finish (5s).exitCode, 130) << process.out();
    EXPECT_NE (process.out().find ("interrupted: unloading"), std::string::npos);
}

TEST (ReaperSimProgram, LoadsEveryExtensionOfAPluginsFolder)
{
    testing_support::TempDirectory temp;
    std::filesystem::create_symlink (extension, temp.path ("reaper_test_extension.so"));
    std::ofstream (temp.path ("readme.txt")) << "not a plug-in\n";

    const auto result = runProgram ({sim, "--plugins-dir", temp.directory()}, "status\n");

    EXPECT_EQ (result.exitCode, 0) << result.out;
    EXPECT_NE (result.out.find ("loaded 1 extension(s) from"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("timers: 1"), std::string::npos) << result.out;
}

TEST (ReaperSimProgram, SetupErrorsExitNonZeroWithAClearMessage)
{
    testing_support::TempDirectory temp;
    std::ofstream (temp.path ("notes.txt")) << "not a library\n";

    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };

    const Case cases[] = {
        {{sim, "/nonexistent/reaper_missing.so"}, 2, "reaper-sim: error: cannot load /nonexistent/reaper_missing.so"},
        {{sim, temp.path ("notes.txt")}, 2, "reaper-sim: error: cannot load " + temp.path ("notes.txt")},
        {{sim, "--track", "A", "B", extension}, 2, "reaper-sim: error: cannot load ./B"},
        {{sim, "--select-track", "1", extension}, 2, "--select-track: no track 1 (there are 0;"},
        {{sim, "--tracks", "2", "--select-track", "3", extension}, 2, "--select-track: no track 3"},
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
        EXPECT_EQ (result.exitCode, c.exitCode) << result.out;
        EXPECT_NE (result.out.find (c.message), std::string::npos) << result.out;
        EXPECT_EQ (result.out.find ("timers:"), std::string::npos) << "no command may run after a setup error";
    }
}

TEST (ReaperSimProgram, BadScriptCommandStopsWithItsLineAndUnloads)
{
    testing_support::TempDirectory temp;
    const auto script = temp.path ("bad.txt");
    std::ofstream (script) << "add-track\n\ncursor ten\necho not reached\n";

    const auto result = runProgram ({sim, "--script", script, extension});

    EXPECT_EQ (result.exitCode, 1) << result.out;
    EXPECT_NE (result.out.find (script + ":3: usage: cursor SECONDS"), std::string::npos) << result.out;
    EXPECT_EQ (result.out.find ("not reached"), std::string::npos) << result.out;
    EXPECT_NE (result.out.find ("unloaded " + extension), std::string::npos) << result.out;
}
