// The entry point's unload call: the bridge goes, and with it the pipe, the timer and the
// log; loading again starts afresh.

#include <filesystem>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "StandardErrorFile.h"

using testing_support::ExtensionHarness;

TEST (ExtensionUnloadTest, EndsTheLogWithDeletingInstanceAndTheBridgesLastLineAndRemovesPipeAndTimer)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());

    // A client that has the pipe open while the extension goes.
    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open ("bv_reaper", 3000));
                           ASSERT_TRUE (client.send (std::string ("\x08\x03", 2), 1000));
                           ASSERT_TRUE (client.receive (3000).has_value()); });

    PipeClient stillOpen;
    ASSERT_TRUE (stillOpen.open ("bv_reaper", 1000));
    harness.host().journal().clear();

    EXPECT_EQ (harness.unload(), 0) << "the module left its timer registered";

    const auto lines = testing_support::messageLines (harness.logLines());
    ASSERT_GE (lines.size(), 2u);
    EXPECT_EQ (lines[lines.size() - 2], "Deleting Instance");
    EXPECT_EQ (lines.back(), "~ReaperBridge");
    EXPECT_EQ (testing_support::countOf (lines, "Connection Lost"), 0);

    EXPECT_TRUE (harness.pipeFiles().empty());
    EXPECT_EQ (harness.host().timers().count(), 0);
    EXPECT_EQ (harness.host().journal().countOf ("Register"), ExtensionHarness::timersOfALoadedExtension());

    if (ExtensionHarness::timersOfALoadedExtension() > 0)
    {
        EXPECT_EQ (harness.host().journal().lines().front(), "Register(\"-timer\", function) -> 1");
    }
}

TEST (ExtensionUnloadTest, UnloadCallsWithoutABridgeOnlyWriteDeletingInstanceToStandardError)
{
    ExtensionHarness harness;
    auto& module = harness.library();
    const auto opened = module.open (ExtensionHarness::modulePath());
    ASSERT_TRUE (opened.ok()) << opened.message;

    {
        testing_support::StandardErrorFile withoutEverLoading;
        EXPECT_EQ (module.unloadCall(), 0);
        EXPECT_EQ (withoutEverLoading.textWith ("Deleting Instance\n"), "Deleting Instance\n");
    }
    EXPECT_FALSE (std::filesystem::exists (harness.home().logFilePath()));

    ASSERT_EQ (module.loadCall(), 1);
    EXPECT_EQ (module.unloadCall(), 0);

    {
        testing_support::StandardErrorFile secondUnload;
        EXPECT_EQ (module.unloadCall(), 0);
        EXPECT_EQ (secondUnload.textWith ("Deleting Instance\n"), "Deleting Instance\n");
    }

    const auto lines = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (testing_support::countOf (lines, "Deleting Instance"), 1) << "the second unload call wrote into the closed log";
    EXPECT_EQ (lines.empty() ? "(no lines)" : lines.back(), "~ReaperBridge");
    EXPECT_TRUE (harness.pipeFiles().empty());
}

TEST (ExtensionUnloadTest, LoadingAfterUnloadMakesANewBridgeWithANewBanner)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());
    ASSERT_EQ (harness.unload(), 0);
    ASSERT_TRUE (harness.load().ok());

    const auto lines = harness.logLines();
    EXPECT_EQ (testing_support::bannerCount (lines), 2);
    EXPECT_EQ (testing_support::countOf (lines, "pipe created"), 2);
    EXPECT_EQ (harness.host().timers().count(), ExtensionHarness::timersOfALoadedExtension());

    const auto reply = harness.request (std::string ("\x08\x03", 2));
    ASSERT_TRUE (reply.has_value());
    EXPECT_NE (reply->find ("reaper ext 1.1"), std::string::npos);
}

TEST (ExtensionUnloadTest, ABridgeCanBeMadeAgainWhileTheModuleStaysMapped)
{
    // REAPER itself never closes the library between the two calls; JUCE's message machinery
    // must come up again inside the same copy of the module.
    ExtensionHarness harness;
    auto& module = harness.library();
    const auto opened = module.open (ExtensionHarness::modulePath());
    ASSERT_TRUE (opened.ok()) << opened.message;

    for (int round = 0; round < 3; ++round)
    {
        ASSERT_EQ (module.loadCall(), 1) << "round " << round;
        EXPECT_EQ (harness.host().timers().count(), ExtensionHarness::timersOfALoadedExtension());

        const auto reply = harness.request (std::string ("\x08\x03", 2));
        ASSERT_TRUE (reply.has_value()) << "round " << round;
        EXPECT_NE (reply->find ("reaper ext 1.1"), std::string::npos);

        EXPECT_EQ (module.unloadCall(), 0);
        EXPECT_EQ (harness.host().timers().count(), 0);
        EXPECT_TRUE (harness.pipeFiles().empty());
    }

    const auto lines = harness.logLines();
    EXPECT_EQ (testing_support::bannerCount (lines), 3);
    EXPECT_EQ (testing_support::countOf (lines, "~ReaperBridge"), 3);
}
