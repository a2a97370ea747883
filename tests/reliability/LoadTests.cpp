// Long runs of the real module in the stand-in host: many requests from a client that keeps
// reconnecting, and many load/unload cycles. Everything must be answered in order, and the
// host must get back every descriptor, thread and mapping the extension took, but for the
// module's own mapping where its rounds come from the main queue (macOS): that module keeps
// itself mapped, since a round queued there cannot be taken back.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AudioFileWriter.h"
#include "ProcessResources.h"
#include "ReliabilityTesting.h"

using namespace reliability_testing;
using namespace std::chrono_literals;

namespace
{
constexpr int kTimeoutMs = 10000;

bool moduleStaysMapped()
{
    return reaper_host::host_main_thread::extensionRoundsComeOnDemand();
}

struct Snapshot
{
    std::vector<std::string> descriptors = process_resources::openDescriptors();
    int threads = process_resources::threadCount();
};

struct Request
{
    std::string payload;
    bool answered = true;
    ExpectedReply reply;
};

// The sound of one spot: a short real audio file, so no spot logs a missing file.
std::string writeSpotSound (ExtensionHarness& harness)
{
    const auto path = harness.home().file ("spot.wav");
    EXPECT_TRUE (reaper_host::writeAudioFile (path, reaper_host::AudioFileFormat::wav16, 8000, 1, 800));
    return path;
}
} // namespace

TEST (LoadTest, HundredThousandMixedRequestsFromAClientReconnectingEveryThousandAreAllAnsweredInOrder)
{
    constexpr int kRequests = 100000;
    constexpr int kPerConnection = 1000;
    constexpr int kWindow = 100; // requests in flight at once

    const Snapshot before;
    {
        ExtensionHarness harness (kTimedEmptyProject);
        auto& model = harness.host();
        auto& first = model.addTrack ("Selected item");
        model.addTrack ("Spots");
        model.selectTracks ({1});
        auto& item = model.addItem (first, 1.0, 2.0);
        auto& take = model.addTake (item, "Take");
        model.setTakeSource (take, reaper_host::MediaSource::synthetic ("/Sounds/door.wav", 48000, 2, 96000));
        model.selectItem (item);
        model.setProjectPath ("/Projects/Load");
        const auto spotSound = writeSpotSound (harness);
        const std::string selectedJson = "{\r\n  \"src\": \"/Sounds/door.wav\",\r\n  \"start\": 0.000,\r\n  \"len\": 2.000,\r\n"
                                         "  \"pcmsr\": 48000,\r\n  \"pcmlen\": 2.000\r\n}";

        std::vector<Request> requests;
        requests.reserve (kRequests);
        int explorerRequests = 0, spots = 0;

        for (int i = 0; i < kRequests; ++i)
        {
            switch (i % 10)
            {
                case 0:
                case 4:
                    requests.push_back ({request_payloads::version(), true, {ExpectedReply::Kind::version, {}}});
                    break;
                case 1:
                case 6:
                    requests.push_back ({request_payloads::session(), true, {ExpectedReply::Kind::responseText, "/Projects/Load"}});
                    break;
                case 2:
                    requests.push_back ({request_payloads::selectedItem(), true, {ExpectedReply::Kind::responseText, selectedJson}});
                    break;
                case 3:
                case 7:
                    requests.push_back ({request_payloads::openInMediaExplorer ("/e/" + std::to_string (i)), true, {ExpectedReply::Kind::commandResult, {}}});
                    ++explorerRequests;
                    break;
                case 5:
                    requests.push_back ({request_payloads::info(), false, {}});
                    break;
                case 8:
                    requests.push_back ({request_payloads::undecodable(), false, {}});
                    break;
                default:
                    if (i % 100 == 9)
                    {
                        requests.push_back ({request_payloads::spot (spotSound, "n" + std::to_string (i)), true, {ExpectedReply::Kind::commandResult, {}}});
                        ++spots;
                    }
                    else
                    {
                        requests.push_back ({request_payloads::selectedItem(), true, {ExpectedReply::Kind::responseText, selectedJson}});
                    }
                    break;
            }
        }

        ASSERT_TRUE (harness.load().ok());

        std::vector<std::string> problems;
        int answered = 0, connections = 0;

        ClientThread client ([&]
                             {
            PipeClient pipe;

            for (int start = 0; start < kRequests && problems.empty(); start += kWindow)
            {
                if (start % kPerConnection == 0)
                {
                    pipe.close();
                    if (! pipe.open (ExtensionHarness::pipeName, kTimeoutMs))
                    {
                        problems.push_back ("cannot open the pipe");
                        return;
                    }
                    ++connections;
                }

                for (int i = start; i < start + kWindow; ++i)
                    if (! pipe.send (requests[(std::size_t) i].payload, kTimeoutMs))
                        problems.push_back ("request " + std::to_string (i) + " not written");

                for (int i = start; i < start + kWindow && problems.size() < 10; ++i)
                {
                    if (! requests[(std::size_t) i].answered)
                        continue;

                    const auto reply = pipe.receive (kTimeoutMs);

                    if (! reply)
                    {
                        problems.push_back ("no reply to request " + std::to_string (i));
                        return;
                    }

                    const auto wrong = request_payloads::mismatch (*reply, requests[(std::size_t) i].reply);

                    if (wrong.empty())
                        ++answered;
                    else
                        problems.push_back ("request " + std::to_string (i) + ": " + wrong);
                }
            }

            pipe.close(); });

        EXPECT_TRUE (harness.pumpUntil ([&]
                                        { return client.done(); },
                                        600s));
        client.join();

        EXPECT_EQ (problems, std::vector<std::string>());
        EXPECT_EQ (connections, kRequests / kPerConnection);
        EXPECT_EQ (answered, kRequests - kRequests / 10 * 2);

        // Carried out in the order sent.
        ASSERT_EQ ((int) model.project().explorerRequests.size(), explorerRequests);
        for (int k = 0, i = 0; i < kRequests; ++i)
            if (i % 10 == 3 || i % 10 == 7)
            {
                ASSERT_EQ (model.project().explorerRequests[(std::size_t) k++].file, "/e/" + std::to_string (i));
            }

        EXPECT_EQ (model.track (1)->items.size(), (std::size_t) spots);
        RecordProperty ("requests_answered", answered);
        std::printf ("%d requests sent, %d answered, over %d connections; longest main-thread tick %lld us\n",
                     kRequests, answered, connections, (long long) harness.longestTick().count());

        harness.unload();
        EXPECT_EQ (process_resources::isMapped (ExtensionHarness::modulePath()), moduleStaysMapped());
        EXPECT_FALSE (process_resources::pathExists (ExtensionHarness::requestFifo));
        EXPECT_FALSE (process_resources::pathExists (ExtensionHarness::replyFifo));
    }

    const Snapshot after;
    EXPECT_EQ (after.descriptors, before.descriptors);
    EXPECT_EQ (after.threads, before.threads);
}

TEST (LoadTest, TwoHundredLoadUnloadCyclesLeaveNoDescriptorThreadMappingOrFifo)
{
    constexpr int kCycles = 200;
    const Snapshot before;
    int roundTrips = 0;

    {
        ExtensionHarness harness (kTimedEmptyProject);
        harness.host().addTrack();

        for (int cycle = 0; cycle < kCycles; ++cycle)
        {
            SCOPED_TRACE ("cycle " + std::to_string (cycle));
            ASSERT_TRUE (harness.load().ok());
            ASSERT_TRUE (process_resources::isMapped (ExtensionHarness::modulePath()));
            harness.pumpFor (1ms);

            // Every tenth cycle also serves a request before it unloads.
            if (cycle % 10 == 0)
            {
                std::string problem = "no reply";
                ClientThread client ([&]
                                     {
                    PipeClient pipe;
                    if (pipe.open (ExtensionHarness::pipeName, kTimeoutMs) && pipe.send (request_payloads::version(), kTimeoutMs))
                        if (auto reply = pipe.receive (kTimeoutMs))
                            problem = request_payloads::mismatch (*reply, {ExpectedReply::Kind::version, {}}); });

                harness.pumpUntil ([&]
                                   { return client.done(); },
                                   20s);
                client.join();
                EXPECT_EQ (problem, "");
                ++roundTrips;
            }

            harness.unload();
            ASSERT_EQ (process_resources::isMapped (ExtensionHarness::modulePath()), moduleStaysMapped());
            ASSERT_FALSE (process_resources::pathExists (ExtensionHarness::requestFifo));
            ASSERT_FALSE (process_resources::pathExists (ExtensionHarness::replyFifo));
        }

        const auto log = harness.logText();
        std::size_t created = 0;
        for (auto at = log.find ("pipe created"); at != std::string::npos; at = log.find ("pipe created", at + 1))
            ++created;
        EXPECT_EQ (created, (std::size_t) kCycles);
    }

    const Snapshot after;
    EXPECT_EQ (after.descriptors, before.descriptors);
    EXPECT_EQ (after.threads, before.threads);
    RecordProperty ("cycles", kCycles);
    std::printf ("%d load/unload cycles, %d with a request served\n", kCycles, roundTrips);
}

// REAPER's unload call as it quits, and its dlclose, while the round of a request waits on the
// main queue behind them: that round runs after the module's unload and finds its code there.
TEST (LoadTest, AnUnloadWithARoundQueuedOnTheMainQueueSurvivesThatRound)
{
    ExtensionHarness harness (kTimedEmptyProject);
    ASSERT_TRUE (harness.load().ok());

    reaper_host::host_main_thread::call ([&]
                                         {
                                             PipeClient client;
                                             ASSERT_TRUE (client.open (ExtensionHarness::pipeName, kTimeoutMs));
                                             ASSERT_TRUE (client.send (request_payloads::version(), kTimeoutMs));
                                             std::this_thread::sleep_for (300ms); // the pipe's reader takes it and asks for a round
                                             harness.unload(); });
    reaper_host::host_main_thread::call ([] {}); // after that round

    EXPECT_EQ (process_resources::isMapped (ExtensionHarness::modulePath()), moduleStaysMapped());
}
