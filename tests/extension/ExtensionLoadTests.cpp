// The entry point's load call, as REAPER makes it: the version check, the binding of the
// 35 host functions, the alert when one is missing, and the bridge that a load creates.

#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "PipeClient.h"
#include "PluginInterface.h"

using testing_support::ExtensionHarness;

namespace
{
const std::string kAlertMessage = "The version of the Belvanta extension you have installed is incompatible with your version "
                                  "of REAPER. You probably have a REAPER version less than v5 installed.\r\n"
                                  "Please install the latest version of REAPER from https://www.reaper.fm.";

// Standard error without the version line that JUCE's debug builds print when the module is
// opened, before the entry point runs.
std::string withoutJuceVersionLine (const std::string& text)
{
    if (text.rfind ("JUCE v", 0) != 0)
        return text;

    const auto lineEnd = text.find ('\n');
    return lineEnd == std::string::npos ? std::string() : text.substr (lineEnd + 1);
}

// What the extension left that a refused load must not leave.
void expectNothingLeftByARefusedLoad (ExtensionHarness& harness)
{
    EXPECT_FALSE (std::filesystem::exists (harness.home().logFilePath())) << "a refused load opened the log";
    EXPECT_TRUE (harness.pipeFiles().empty()) << "a refused load created the pipe";
    EXPECT_EQ (harness.host().timers().count(), 0);
    EXPECT_FALSE (harness.isLoaded());
}
} // namespace

class WrongCallerVersionTest : public ::testing::TestWithParam<int>
{
};

TEST_P (WrongCallerVersionTest, IsRefusedWithoutShowingLoggingOrBindingAnything)
{
    ExtensionHarness harness;

    testing::internal::CaptureStderr();
    const auto result = harness.load (GetParam());
    const auto errorOutput = withoutJuceVersionLine (testing::internal::GetCapturedStderr());

    EXPECT_EQ (result.status, reaper_host::LoadStatus::refused);
    EXPECT_EQ (result.entryResult, 0);
    EXPECT_TRUE (harness.host().project().messageBoxes.empty());
    EXPECT_TRUE (harness.host().lookups().empty()) << "bound functions of a host it refuses";
    EXPECT_EQ (errorOutput, "");
    expectNothingLeftByARefusedLoad (harness);
}

INSTANTIATE_TEST_SUITE_P (NeighboursOfTheSupportedVersion, WrongCallerVersionTest, ::testing::Values (0x20D, 0x20F, 0));

struct MissingNames
{
    const char* label;
    std::vector<std::string> names;
};

class MissingHostFunctionTest : public ::testing::TestWithParam<MissingNames>
{
};

TEST_P (MissingHostFunctionTest, ShowsTheAlertOnceAndRefusesAfterLookingUpAll35)
{
    ExtensionHarness harness;

    for (const auto& name : GetParam().names)
        harness.host().withhold (name);

    const auto result = harness.load();

    EXPECT_EQ (result.status, reaper_host::LoadStatus::refused);
    ASSERT_EQ (harness.host().project().messageBoxes.size(), 1u);
    const auto& box = harness.host().project().messageBoxes[0];
    EXPECT_EQ (box.title, "Incompatible");
    EXPECT_EQ (box.message, kAlertMessage);
    EXPECT_EQ (box.type, 0); // a single OK button

    auto lookups = harness.host().lookups();
    lookups.erase (std::remove (lookups.begin(), lookups.end(), "ShowMessageBox"), lookups.end());
    EXPECT_EQ (lookups.size(), 35u) << "every name is looked up, also after a miss";
    EXPECT_EQ (lookups.front(), "AddMediaItemToTrack");
    EXPECT_EQ (lookups.back(), "UpdateTimeline");

    expectNothingLeftByARefusedLoad (harness);
}

INSTANTIATE_TEST_SUITE_P (
    Hosts,
    MissingHostFunctionTest,
    ::testing::Values (MissingNames{"InsertMediaNothingReliesOn", {"InsertMedia"}},
                       MissingNames{"TheLastName", {"UpdateTimeline"}},
                       MissingNames{"TheFirstName", {"AddMediaItemToTrack"}},
                       MissingNames{"Several", {"GetTrack", "InsertMedia", "SetEditCurPos", "UpdateArrange"}}),
    [] (const auto& info)
    { return std::string (info.param.label); });

TEST (HostWithoutMessageBoxTest, WritesTheAlertsTitleAndMessageToStandardError)
{
    ExtensionHarness harness;
    harness.host().withhold ("InsertMedia");
    harness.host().withhold ("ShowMessageBox");

    testing::internal::CaptureStderr();
    const auto result = harness.load();
    const auto errorOutput = withoutJuceVersionLine (testing::internal::GetCapturedStderr());

    EXPECT_EQ (result.status, reaper_host::LoadStatus::refused);
    EXPECT_EQ (errorOutput, "Incompatible\n" + kAlertMessage + "\n");
    EXPECT_TRUE (harness.host().project().messageBoxes.empty());
    expectNothingLeftByARefusedLoad (harness);
}

TEST (ExtensionLoadTest, ALoadCreatesTheLogAndThePipeAndRegistersOneTimer)
{
    ExtensionHarness harness;
    const auto result = harness.load();

    ASSERT_TRUE (result.ok()) << result.message;
    EXPECT_EQ (result.entryResult, 1);
    EXPECT_EQ (harness.host().timers().count(), ExtensionHarness::timersOfALoadedExtension());
    EXPECT_EQ (harness.pipeFiles(), (std::vector<std::string>{"/tmp/bv_reaper_in", "/tmp/bv_reaper_out"}));

    // The banner of FileLogger, then the bridge's first line.
    const auto lines = harness.logLines();
    ASSERT_EQ (lines.size(), 6u);
    EXPECT_EQ (lines[0], "");
    EXPECT_EQ (lines[1], std::string (58, '*'));
    EXPECT_EQ (lines[2], "");
    EXPECT_EQ (lines[3].rfind ("Log started: ", 0), 0u);
    EXPECT_EQ (lines[4], "");
    EXPECT_EQ (lines[5], "pipe created");
    EXPECT_NE (testing_support::readWholeFile (harness.home().logFilePath()).find ("pipe created\r\n"), std::string::npos);
}

// The library application, already running when REAPER starts, keeps trying to open the
// pipe and writes its request the moment it can, which can be before the load call has
// returned: the request is answered all the same. Sixty loads, since the moment varies (on
// the order that stranded it, about one load in ten lost its request here).
TEST (ExtensionLoadTest, ARequestWrittenTheMomentThePipeOpensDuringTheLoadIsAnswered)
{
    for (int load = 0; load < 60; ++load)
    {
        SCOPED_TRACE (load);
        ExtensionHarness harness;
        std::optional<std::string> reply;

        std::thread client ([&]
                            {
                                PipeClient pipeClient;
                                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds (5);

                                // No pause between tries: the request goes out as soon as the FIFOs take it.
                                while (!pipeClient.open ("bv_reaper", 0) && std::chrono::steady_clock::now() < giveUp)
                                {
                                }

                                if (pipeClient.send (std::string ("\x08\x03", 2), 1000))
                                    reply = pipeClient.receive (2000); });

        const bool loaded = harness.load().ok();
        harness.mainLoop().runWhile ([&]
                                     { client.join(); });
        ASSERT_TRUE (loaded);
        ASSERT_TRUE (reply.has_value()) << "the request written during the load was never answered";
    }
}

namespace
{
// Whether the request FIFO existed when the extension registered its timer.
std::optional<bool> pipeMadeBeforeTheTimer;

int registerNotingThePipe (const char* name, void* function)
{
    if (name != nullptr && std::strcmp (name, "timer") == 0)
        pipeMadeBeforeTheTimer = std::filesystem::exists (ExtensionHarness::requestFifo);

    return reaper_host::registerWithHost (name, function);
}
} // namespace

// The order that keeps such a request from being stranded, where the registration of the
// rounds' timer shows it (on macOS nothing does; the test above catches it there).
TEST (ExtensionLoadTest, TheRoundsAreSwitchedOnBeforeThePipeIsMade)
{
    if (reaper_host::host_main_thread::extensionRoundsComeOnDemand())
        GTEST_SKIP() << "the rounds come from the main queue, with no call into the host";

    ExtensionHarness harness;
    ASSERT_TRUE (harness.library().open (ExtensionHarness::modulePath()).ok());
    auto record = *harness.host().pluginInfo (kReaperPluginVersion);
    record.Register = &registerNotingThePipe;

    ASSERT_EQ (harness.library().loadCall (record), 1);
    ASSERT_TRUE (pipeMadeBeforeTheTimer.has_value()) << "no timer registered";
    EXPECT_FALSE (*pipeMadeBeforeTheTimer) << "the pipe was made before the rounds were switched on";
    EXPECT_EQ (harness.pipeFiles().size(), 2u);
}

TEST (ExtensionLoadTest, ASecondLoadCallKeepsTheOneBridge)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());

    EXPECT_EQ (harness.library().loadCall(), 1);
    EXPECT_EQ (harness.library().loadCall(), 1);

    const auto lines = harness.logLines();
    EXPECT_EQ (testing_support::bannerCount (lines), 1);
    EXPECT_EQ (testing_support::countOf (lines, "pipe created"), 1);
    EXPECT_EQ (harness.host().timers().count(), ExtensionHarness::timersOfALoadedExtension());
    EXPECT_EQ (harness.pipeFiles().size(), 2u);

    // The one bridge still serves the pipe.
    const auto reply = harness.request (std::string ("\x08\x03", 2));
    ASSERT_TRUE (reply.has_value());
    EXPECT_NE (reply->find ("reaper ext 1.1"), std::string::npos);
}
