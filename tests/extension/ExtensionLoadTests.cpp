// The entry point's load call, as REAPER makes it: the version check, the binding of the
// 35 host functions, the alert when one is missing, and the bridge that a load creates.

#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "PipeClient.h"
#include "PluginInterface.h"
#include "RequestPayloads.h"
#include "StandardErrorFile.h"

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

// The log folder a link to another folder, so the log is standard error.
void refuseTheLogFolder (ExtensionHarness& harness)
{
    const auto logFolder = std::filesystem::path (harness.home().logFilePath()).parent_path();
    std::filesystem::create_directories (logFolder.parent_path());
    std::filesystem::create_directory_symlink ("/", logFolder);
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

    testing_support::StandardErrorFile standardError;
    const auto result = harness.load();
    const auto alert = "Incompatible\n" + kAlertMessage + "\n";

    EXPECT_EQ (result.status, reaper_host::LoadStatus::refused);
    EXPECT_EQ (withoutJuceVersionLine (standardError.textWith (alert)), alert);
    EXPECT_TRUE (harness.host().project().messageBoxes.empty());
    expectNothingLeftByARefusedLoad (harness);
}

// Standard error a terminal nobody reads (that its user cannot open again by its name) with
// the log on it: REAPER's main thread never waits for it, however much is logged.
TEST (ExtensionLoadTest, StandardErrorOnATerminalNobodyReadsNeverHoldsTheMainThread)
{
    ExtensionHarness harness (testing_support::kTimedEmptyProject);
    refuseTheLogFolder (harness);
    int master = -1, terminal = -1, answered = 0;
    ASSERT_EQ (::openpty (&master, &terminal, nullptr, nullptr, nullptr), 0);
    ::fchmod (terminal, 0);
    testing_support::StandardErrorFile onTerminal (terminal);
    ::close (terminal);
    std::promise<void> served;
    // Hung up after 5 s at the latest, which frees a main thread held by it.
    auto hangUp = std::async (std::launch::async, [&, until = served.get_future()]
                              { until.wait_for (std::chrono::seconds (5)), ::close (master); });
    EXPECT_TRUE (harness.load().ok());
    harness.runClient ([&] (PipeClient& client)
                       {
                           const auto spot = request_payloads::spot ("/missing/" + std::string (4000, 'p'), "take");
                           for (int i = 0; i < 40 && (client.isOpen() || client.open (ExtensionHarness::pipeName, 3000)); ++i)
                               answered += client.send (spot, 3000) && client.receive (3000).has_value(); });
    harness.unload();
    served.set_value();
    hangUp.get();
    EXPECT_EQ (answered, 40);
    EXPECT_LT (harness.longestTick(), std::chrono::seconds (1)) << harness.longestTick().count() << " us";
}

// The log folder refused, so the log is standard error: closed when REAPER started, none of
// the extension's descriptors takes its number; replaced after the load, neither the file now
// at it nor the one it was gets a log line.
TEST (ExtensionLoadTest, StandardErrorClosedAtLoadOrReplacedAfterItGetsNoLogLine)
{
    for (const bool closedAtLoad : {true, false})
    {
        SCOPED_TRACE (closedAtLoad ? "closed at load" : "replaced after the load");
        ExtensionHarness harness;
        refuseTheLogFolder (harness);
        testing_support::StandardErrorFile atLoad;

        if (closedAtLoad)
            ::close (STDERR_FILENO);

        ASSERT_TRUE (harness.load().ok());
        // A descriptor of ours is 2 only for the moment between its open and its move above 2
        // (on the pipe's threads too): number 2 must be free again at once, not held.
        bool free = false;
        for (int i = 0; i < 100 && !free; ++i, std::this_thread::sleep_for (std::chrono::milliseconds (1)))
            free = ::fcntl (STDERR_FILENO, F_GETFD) < 0;
        EXPECT_EQ (free, closedAtLoad) << "an extension's descriptor took number 2";
        if (!closedAtLoad)
        {
            EXPECT_NE (atLoad.textWith ("pipe created").find ("pipe created"), std::string::npos);
        }

        testing_support::StandardErrorFile afterLoad;
        ASSERT_TRUE (harness.request (std::string ("\x08\x03", 2)).has_value());
        harness.unload();
        std::this_thread::sleep_for (std::chrono::milliseconds (300));
        EXPECT_EQ (afterLoad.text(), "");
        EXPECT_EQ (atLoad.text().find ("Deleting Instance"), std::string::npos) << "written after it was replaced";
    }
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
