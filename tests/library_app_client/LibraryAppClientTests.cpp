// The library application's own pipe client, JUCE's InterprocessConnection, driving the
// real module loaded into the stand-in REAPER. JUCE's client reads the replies from
// /tmp/bv_reaper_out and writes its requests into /tmp/bv_reaper_in, each as a packet of
// the magic, the length and the payload; these cases pass only when the extension's FIFOs
// and framing are exactly what that client expects.

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include "AppConnection.h"
#include "AudioFileWriter.h"
#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "reaper.pb.h"

using BVReaper::ClientMessage;
using BVReaper::ServerMessage;
using testing_support::ExtensionHarness;

namespace
{
ClientMessage requestOfType (ClientMessage::Type type)
{
    ClientMessage request;
    request.set_type (type);
    return request;
}

ClientMessage spotRequest (const std::string& file, const std::string& takeName)
{
    auto request = requestOfType (ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (file);
    request.mutable_spot()->set_take_name (takeName);
    request.mutable_spot()->set_volume (0.5f);
    return request;
}

ClientMessage mediaExplorerRequest (const std::string& file)
{
    auto request = requestOfType (ClientMessage::OPEN_PROJECT_REQUEST);
    request.mutable_open_project()->set_path (file);
    return request;
}

class LibraryAppClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host().setProjectPath ("/home/editor/Projects/Reel 3");
        host().setCursor (2.0);

        const auto loaded = harness.load();
        ASSERT_TRUE (loaded.ok()) << loaded.message;
    }

    reaper_host::HostModel& host()
    {
        return harness.host();
    }

    // Sends the request through JUCE's client, as the library application does.
    static void send (AppConnection& app, const ClientMessage& request)
    {
        const auto bytes = request.SerializeAsString();
        EXPECT_TRUE (app.sendMessage (juce::MemoryBlock (bytes.data(), bytes.size())))
            << "JUCE could not write the request packet";
    }

    // Waits, with REAPER's timers ticking, for the next reply JUCE's client delivers.
    std::optional<ServerMessage> nextReply (AppConnection& app)
    {
        std::optional<std::string> payload;
        harness.pumpUntil ([&]
                           { return (payload = app.takeReply()).has_value(); },
                           kReplyTimeout);

        if (!payload)
        {
            ADD_FAILURE() << "no reply reached JUCE's client";
            return std::nullopt;
        }

        ServerMessage reply;

        if (!reply.ParseFromString (*payload))
        {
            ADD_FAILURE() << "the reply does not decode as a ServerMessage";
            return std::nullopt;
        }

        EXPECT_TRUE (app.isConnected()) << "JUCE's reader stopped after the reply";
        return reply;
    }

    std::optional<ServerMessage> ask (AppConnection& app, const ClientMessage& request)
    {
        send (app, request);
        return nextReply (app);
    }

    // Keeps the timers ticking a while; true when JUCE's client got nothing meanwhile.
    bool nothingMoreArrives (AppConnection& app)
    {
        harness.pumpFor (std::chrono::milliseconds (150));
        return !app.takeReply().has_value();
    }

    // Destroyed in reverse: the client disconnects before the harness unloads the module.
    ExtensionHarness harness;
    AppConnection app;
};
} // namespace

TEST_F (LibraryAppClientTest, EveryRequestOfTheApplicationGetsItsReplyAndTheSpotLandsOnTheTimeline)
{
    const auto file = harness.home().file ("Door Slam.wav");
    ASSERT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::wav16, 48000, 2, 48000 * 3 / 2));
    ASSERT_TRUE (app.open());

    // Back to back, with one request that gets no reply in between: the application pairs
    // replies with requests by their order alone.
    send (app, requestOfType (ClientMessage::VERSION_REQUEST));
    send (app, requestOfType (ClientMessage::INFO_REQUEST));
    send (app, requestOfType (ClientMessage::SESSION_REQUEST));
    const auto version = nextReply (app);
    ASSERT_TRUE (version.has_value());
    EXPECT_EQ (version->type(), ServerMessage::VERSION);
    EXPECT_EQ (version->version().version(), "reaper ext 1.1");
    const auto projectPath = nextReply (app);
    ASSERT_TRUE (projectPath.has_value());
    EXPECT_EQ (projectPath->type(), ServerMessage::RESPONSE);
    EXPECT_EQ (projectPath->response().text(), "/home/editor/Projects/Reel 3");
    EXPECT_FALSE (projectPath->response().has_code());

    const auto spotted = ask (app, spotRequest (file, "Door"));
    ASSERT_TRUE (spotted.has_value());
    EXPECT_EQ (spotted->type(), ServerMessage::COMMAND_RESULT);
    EXPECT_FALSE (spotted->has_error()) << spotted->error().description();
    ASSERT_EQ (host().itemCount(), 1);
    auto& item = *host().project().tracks[0]->items[0];
    EXPECT_DOUBLE_EQ (item.position, 2.0);
    EXPECT_DOUBLE_EQ (item.length, 1.5);
    ASSERT_EQ (item.takes.size(), 1u);
    EXPECT_EQ (item.takes[0]->name, "Door");
    EXPECT_DOUBLE_EQ (item.takes[0]->volume, 0.5);
    ASSERT_NE (item.takes[0]->source, nullptr);
    EXPECT_STREQ (item.takes[0]->source->GetFileName(), file.c_str());
    EXPECT_DOUBLE_EQ (host().project().cursor, 3.5);
    ASSERT_EQ (host().undoHistory().points().size(), 1u);
    EXPECT_EQ (host().undoHistory().points()[0].description, "Spot: Door");

    // The timers are not ticking here, so the model is the test's to change.
    host().unselectAllItems();
    host().selectItem (item);
    const auto selected = ask (app, requestOfType (ClientMessage::SELECTED_FILE_REQUEST));
    ASSERT_TRUE (selected.has_value());
    EXPECT_EQ (selected->type(), ServerMessage::RESPONSE);
    EXPECT_EQ (selected->response().text(),
               "{\r\n  \"src\": \"" + file + "\",\r\n  \"start\": 0.000,\r\n  \"len\": 1.500,\r\n  \"pcmsr\": 48000,\r\n  \"pcmlen\": 1.500\r\n}");

    const auto shown = ask (app, mediaExplorerRequest (file));
    ASSERT_TRUE (shown.has_value());
    EXPECT_EQ (shown->type(), ServerMessage::COMMAND_RESULT);
    EXPECT_FALSE (shown->has_error() || shown->has_response() || shown->has_version());
    ASSERT_EQ (host().project().explorerRequests.size(), 1u);
    EXPECT_EQ (host().project().explorerRequests[0].file, file);
    EXPECT_TRUE (host().project().explorerRequests[0].play);

    const auto missing = harness.home().file ("gone.wav");
    const auto refused = ask (app, spotRequest (missing, "Gone"));
    ASSERT_TRUE (refused.has_value());
    EXPECT_EQ (refused->type(), ServerMessage::COMMAND_RESULT);
    EXPECT_EQ (refused->error().description(), "Unable to find source file:" + missing);
    EXPECT_EQ (host().itemCount(), 1);

    EXPECT_TRUE (nothingMoreArrives (app)) << "a reply came that no request asked for";
    EXPECT_EQ (host().journal().offMainThreadCount(), 0);
}

// The application closes its ends of the pipe between requests and opens them again, as
// the same program or after a restart; the extension serves it each time without noticing.
TEST_F (LibraryAppClientTest, AClientThatDisconnectsAndConnectsAgainIsServedEachTime)
{
    ASSERT_TRUE (app.open());
    const auto version = ask (app, requestOfType (ClientMessage::VERSION_REQUEST));
    ASSERT_TRUE (version.has_value());
    EXPECT_EQ (version->version().version(), "reaper ext 1.1");

    app.disconnect();
    EXPECT_FALSE (app.isConnected());
    harness.pumpFor (std::chrono::milliseconds (50));

    ASSERT_TRUE (app.open());
    const auto projectPath = ask (app, requestOfType (ClientMessage::SESSION_REQUEST));
    ASSERT_TRUE (projectPath.has_value());
    EXPECT_EQ (projectPath->response().text(), "/home/editor/Projects/Reel 3");
    app.disconnect();

    {
        AppConnection restarted;
        ASSERT_TRUE (restarted.open());
        const auto shown = ask (restarted, mediaExplorerRequest ("/sounds/Rain.flac"));
        ASSERT_TRUE (shown.has_value());
        EXPECT_EQ (shown->type(), ServerMessage::COMMAND_RESULT);
        ASSERT_EQ (host().project().explorerRequests.size(), 1u);
        EXPECT_EQ (host().project().explorerRequests[0].file, "/sounds/Rain.flac");
        EXPECT_TRUE (nothingMoreArrives (restarted));
    }

    EXPECT_EQ (testing_support::countOf (harness.logLines(), "Connection Lost"), 0);

    // JUCE's client never deletes the FIFOs; the extension does when it unloads.
    EXPECT_EQ (harness.unload(), 0);
    EXPECT_TRUE (harness.pipeFiles().empty());
}
