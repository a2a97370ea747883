// Requests through the real FIFOs to the real module, loaded into the stand-in REAPER and
// served by REAPER's timer on this thread.

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "AudioFileWriter.h"
#include "ExtensionHarness.h"
#include "Hex.h"
#include "LogFileLines.h"
#include "reaper.pb.h"

using testing_support::ExtensionHarness;

namespace
{
std::string encode (const google::protobuf::MessageLite& message)
{
    std::string bytes;
    message.SerializeToString (&bytes);
    return bytes;
}

BVReaper::ServerMessage decodeReply (const std::string& payload)
{
    BVReaper::ServerMessage reply;
    EXPECT_TRUE (reply.ParseFromString (payload));
    return reply;
}

// Reads whatever arrives on an open, non-blocking descriptor until `wanted` bytes came or
// the time is up, then waits a little longer to catch bytes that should not be there.
std::string readRaw (int fd, std::size_t wanted, int timeoutMs)
{
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    auto extraUntil = deadline;
    bool complete = false;

    for (;;)
    {
        const auto now = std::chrono::steady_clock::now();

        if (!complete && bytes.size() >= wanted)
        {
            complete = true;
            extraUntil = std::min (deadline, now + std::chrono::milliseconds (100));
        }

        const auto until = complete ? extraUntil : deadline;

        if (now >= until)
            return bytes;

        pollfd pfd{fd, POLLIN, 0};
        ::poll (&pfd, 1, static_cast<int> (std::chrono::duration_cast<std::chrono::milliseconds> (until - now).count()) + 1);

        char buffer[256];
        const auto got = ::read (fd, buffer, sizeof (buffer));

        if (got > 0)
            bytes.append (buffer, static_cast<std::size_t> (got));
    }
}

class ExtensionRequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto loaded = harness.load();
        ASSERT_TRUE (loaded.ok()) << loaded.message;
    }

    ExtensionHarness harness;
};
} // namespace

TEST_F (ExtensionRequestTest, VersionRequestGetsTheWhole29BytePacketOnTheReplyFifo)
{
    std::string received;

    harness.runClient ([&] (PipeClient&)
                       {
                           // The application's side done by hand, so every byte on the wire is seen.
                           const auto replyFd = ::open ("/tmp/bv_reaper_out", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                           const auto requestFd = ::open ("/tmp/bv_reaper_in", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                           ASSERT_GE (replyFd, 0);
                           ASSERT_GE (requestFd, 0);

                           const auto request = testing_support::fromHex ("2C9EB4F2 02000000 0803");
                           EXPECT_EQ (::write (requestFd, request.data(), request.size()), static_cast<ssize_t> (request.size()));

                           received = readRaw (replyFd, 29, 3000);
                           ::close (requestFd);
                           ::close (replyFd); });

    EXPECT_EQ (testing_support::toHex (received),
               testing_support::toHex (testing_support::fromHex ("2C9EB4F2 15000000 0803BA06100A0E") + "reaper ext 1.1"));
    EXPECT_EQ (received.size(), 29u);
}

TEST_F (ExtensionRequestTest, SpotPlacesARealAudioFileOnTheSelectedTrackAtTheCursor)
{
    auto& host = harness.host();
    host.addTrack ("Track 2");
    host.selectTracks ({1});
    host.setCursor (10.0);

    const auto file = harness.home().file ("Door Slam.wav");
    ASSERT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::wav16, 48000, 2, 48000 * 3 / 2));

    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (file);
    request.mutable_spot()->set_take_name ("Door");
    request.mutable_spot()->set_volume (0.5f);

    const auto reply = harness.request (encode (request));
    ASSERT_TRUE (reply.has_value());
    EXPECT_EQ (testing_support::toHex (*reply), "08 04"); // COMMAND_RESULT without error

    ASSERT_EQ (host.itemCount(), 1);
    ASSERT_EQ (host.project().tracks[1]->items.size(), 1u);
    const auto& item = *host.project().tracks[1]->items[0];
    EXPECT_DOUBLE_EQ (item.position, 10.0);
    EXPECT_DOUBLE_EQ (item.length, 1.5);
    EXPECT_FALSE (item.loopSource);
    ASSERT_EQ (item.takes.size(), 1u);
    EXPECT_EQ (item.takes[0]->name, "Door");
    EXPECT_DOUBLE_EQ (item.takes[0]->volume, 0.5);
    ASSERT_NE (item.takes[0]->source, nullptr);
    EXPECT_STREQ (item.takes[0]->source->GetFileName(), file.c_str());

    EXPECT_DOUBLE_EQ (host.project().cursor, 11.5);
    EXPECT_EQ (reaper_host::MediaSource::liveCount(), 1); // the take's only
    EXPECT_EQ (host.journal().offMainThreadCount(), 0);

    const auto lines = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (testing_support::countOf (lines, "Spotting:" + file), 1);
    EXPECT_EQ (testing_support::countOf (lines, "Current Position:10 Length:1.5 New Position:11.5"), 1);

    // One undo point named after the take; undoing it takes the item away again.
    const auto points = host.undoHistory().points();
    ASSERT_EQ (points.size(), 1u);
    EXPECT_EQ (points[0].description, "Spot: Door");
    ASSERT_TRUE (host.undo());
    EXPECT_EQ (host.itemCount(), 0);
    EXPECT_EQ (reaper_host::MediaSource::liveCount(), 0);
}

// A host without the optional functions loads without a word and spots as before: the
// same log, no undo point, and a failed spot's empty item stays.
TEST (ExtensionWithoutOptionalHostFunctionsTest, LoadsSilentlyAndSpotsWithoutUndoPoints)
{
    ExtensionHarness harness;
    auto& host = harness.host();

    for (const char* name : {"Undo_BeginBlock2", "Undo_EndBlock2", "PreventUIRefresh", "DeleteTrackMediaItem"})
        host.withhold (name);

    const auto loaded = harness.load();
    ASSERT_TRUE (loaded.ok()) << loaded.message;
    EXPECT_TRUE (host.project().messageBoxes.empty());

    const auto file = harness.home().file ("knock.wav");
    ASSERT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::wav16, 8000, 1, 4000));
    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (file);

    const auto placed = harness.request (encode (request));
    ASSERT_TRUE (placed.has_value());
    EXPECT_EQ (testing_support::toHex (*placed), "08 04");
    host.faults().fail ("AddTakeToMediaItem");
    const auto refused = harness.request (encode (request));
    ASSERT_TRUE (refused.has_value());
    EXPECT_EQ (decodeReply (*refused).error().description(), "No take");

    EXPECT_EQ (host.itemCount(), 2);
    EXPECT_TRUE (host.undoHistory().points().empty());
    for (const char* name : {"Undo_BeginBlock2", "Undo_EndBlock2", "PreventUIRefresh", "DeleteTrackMediaItem"})
        EXPECT_EQ (host.journal().countOf (name), 0) << name;

    // The failure's lines are logged once its reply is written, so they may follow the reply.
    harness.pumpUntil ([&]
                       {
                           const auto logged = testing_support::messageLines (harness.logLines());
                           return !logged.empty() && logged.back() == "No take"; });
    auto lines = testing_support::messageLines (harness.logLines());
    for (auto& line : lines)
        if (line.rfind ("JUCE Assertion failure", 0) == 0)
            line = "ASSERT";
    EXPECT_EQ (lines, (std::vector<std::string>{"pipe created", "Spotting:" + file, "Loop Selection In:0.000000 Out:0.000000",
                                                "Current Position:0 Length:0.5 New Position:0.5", "Spotting:" + file, "ASSERT",
                                                "ASSERT", "No take"}));
}

TEST_F (ExtensionRequestTest, SpotOfAMissingFileAnswersWithTheFailureText)
{
    const std::string missing = harness.home().file ("nowhere.wav");

    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (missing);

    const auto reply = harness.request (encode (request));
    ASSERT_TRUE (reply.has_value());
    const auto decoded = decodeReply (*reply);
    EXPECT_EQ (decoded.type(), BVReaper::ServerMessage::COMMAND_RESULT);
    EXPECT_EQ (decoded.error().description(), "Unable to find source file:" + missing);
    EXPECT_EQ (harness.host().itemCount(), 0);
}

TEST_F (ExtensionRequestTest, SelectedItemReportDescribesTheFirstSelectedItem)
{
    auto& host = harness.host();
    const auto file = harness.home().file ("rain.flac");
    ASSERT_TRUE (reaper_host::writeAudioFile (file, reaper_host::AudioFileFormat::flac16, 44100, 1, 44100 * 6));

    auto& item = host.addItem (*host.track (0), 2.0, 4.0);
    auto& take = host.addTake (item, "rain");
    ASSERT_TRUE (host.setTakeSourceFromFile (take, file));
    take.startOffset = 1.25;
    host.selectItem (item);

    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SELECTED_FILE_REQUEST);

    const auto reply = harness.request (encode (request));
    ASSERT_TRUE (reply.has_value());
    const auto decoded = decodeReply (*reply);
    EXPECT_EQ (decoded.type(), BVReaper::ServerMessage::RESPONSE);
    EXPECT_FALSE (decoded.response().has_code());

    const auto text = decoded.response().text();
    EXPECT_EQ (text, "{\r\n  \"src\": \"" + file + "\",\r\n  \"start\": 1.250,\r\n  \"len\": 4.000,\r\n  \"pcmsr\": 44100,\r\n  \"pcmlen\": 6.000\r\n}");
    EXPECT_EQ (nlohmann::json::parse (text).at ("pcmsr"), 44100);
}

TEST_F (ExtensionRequestTest, RequestsOfOneClientAreAnsweredInOrderAndAnInfoRequestOnlyLogs)
{
    std::vector<std::optional<std::string>> replies;

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open ("bv_reaper", 3000));
                           ASSERT_TRUE (client.send (testing_support::fromHex ("0802"), 1000)); // info
                           ASSERT_TRUE (client.send (testing_support::fromHex ("0803"), 1000)); // version
                           ASSERT_TRUE (client.send (testing_support::fromHex ("0804"), 1000)); // project path
                           replies.push_back (client.receive (3000));
                           replies.push_back (client.receive (3000));
                           replies.push_back (client.receive (300)); });

    ASSERT_EQ (replies.size(), 3u);
    ASSERT_TRUE (replies[0].has_value());
    EXPECT_EQ (decodeReply (*replies[0]).version().version(), "reaper ext 1.1");
    ASSERT_TRUE (replies[1].has_value());
    EXPECT_EQ (decodeReply (*replies[1]).type(), BVReaper::ServerMessage::RESPONSE);
    EXPECT_FALSE (replies[2].has_value()) << "the info request must not be answered";

    EXPECT_EQ (testing_support::countOf (harness.logLines(), "Info request"), 1);
}
