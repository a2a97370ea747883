// The requests bv-client builds and how it prints replies, without any pipe.

#include <gtest/gtest.h>

#include "ClientRequests.h"
#include "Hex.h"
#include "ReplyFormatter.h"

using namespace client_requests;

namespace
{
PendingRequest requestFor (const BVReaper::ClientMessage& message, const std::string& label = {})
{
    PendingRequest request;
    request.message = message;
    request.label = label;
    return request;
}
} // namespace

TEST (ClientMessages, SpotSetsOnlyTheFieldsGiven)
{
    SpotOptions none;
    const auto bare = spot ("/a.wav", none);
    EXPECT_EQ (testing_support::toHex (bare.SerializeAsString()), "08 01 AA 06 08 0A 06 2F 61 2E 77 61 76");

    SpotOptions all;
    all.startOffset = 0.0f; // zero is still a value given
    all.playRate = 1.0f;
    all.preservePitch = true;
    all.takeName = "";
    const auto full = spot ("/a.wav", all);
    EXPECT_TRUE (full.spot().has_start_offset());
    EXPECT_TRUE (full.spot().has_play_rate());
    EXPECT_TRUE (full.spot().has_preserve_pitch());
    EXPECT_TRUE (full.spot().has_take_name());
    EXPECT_FALSE (full.spot().has_end_offset());
    EXPECT_FALSE (full.spot().has_volume());
    EXPECT_FALSE (full.spot().has_pool_only());
}

TEST (ClientMessages, HexPayloads)
{
    struct Case
    {
        const char* text;
        std::optional<std::string> bytes;
    };

    const Case cases[] = {
        {"0803", std::string ("\x08\x03")},
        {"08 03", std::string ("\x08\x03")},
        {"08:ff:A0", std::string ("\x08\xff\xa0")},
        {"", std::string()},
        {"080", std::nullopt},
        {"0g", std::nullopt},
        {"08-03", std::nullopt},
    };

    for (const auto& c : cases)
        EXPECT_EQ (bytesFromHex (c.text), c.bytes) << c.text;
}

TEST (ClientMessages, RelativePathsBecomeAbsolute)
{
    EXPECT_EQ (absolutePath ("/already/absolute.wav"), "/already/absolute.wav");
    EXPECT_EQ (absolutePath (""), "");

    const auto made = absolutePath ("sub/file.wav");
    EXPECT_EQ (made.front(), '/');
    EXPECT_EQ (made.substr (made.size() - 13), "/sub/file.wav");
}

TEST (ClientMessages, RepliesThatMakeNoSenseCountAsFailures)
{
    const auto version = requestFor (simple (BVReaper::ClientMessage::VERSION_REQUEST));
    const std::string garbage ("\x08\x09\xff", 3);

    const auto readable = reply_formatter::describeReply (version, garbage, false);
    EXPECT_TRUE (readable.failed);
    EXPECT_EQ (readable.text, "unparsable reply: 08 09 FF");

    const auto json = reply_formatter::describeReply (version, garbage, true);
    EXPECT_TRUE (json.failed);
    EXPECT_EQ (json.text, R"({"bytes":"08 09 FF","ok":false,"reply":"unparsable","request":"version"})");
}

TEST (ClientMessages, TextThatIsNotUtf8StillGivesValidJson)
{
    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::RESPONSE);
    reply.mutable_response()->set_text ("/bad\xff name");

    const auto request = requestFor (simple (BVReaper::ClientMessage::SESSION_REQUEST));
    const auto outcome = reply_formatter::describeReply (request, reply.SerializeAsString(), true);

    EXPECT_FALSE (outcome.failed);
    EXPECT_EQ (outcome.text, "{\"ok\":true,\"reply\":\"response\",\"request\":\"project-path\",\"text\":\"/bad\xef\xbf\xbd name\"}");
}

TEST (ClientMessages, ASpotFailureNamesTheFileAndTheExtensionsText)
{
    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);
    reply.mutable_error()->set_description ("No track");

    const auto request = requestFor (spot ("/s/door.wav", {}), "/s/door.wav");
    const auto outcome = reply_formatter::describeReply (request, reply.SerializeAsString(), false);

    EXPECT_TRUE (outcome.failed);
    EXPECT_EQ (outcome.text, "failed: /s/door.wav: No track");
}

TEST (ClientMessages, ASelectedItemReportIsAlsoGivenAsAnObjectWhenItParses)
{
    const auto request = requestFor (simple (BVReaper::ClientMessage::SELECTED_FILE_REQUEST));

    struct Case
    {
        std::string text;
        std::string json;
    };

    const Case cases[] = {
        {"null", R"({"item":null,"ok":true,"reply":"response","request":"selected","text":"null"})"},
        {"{\r\n}", R"({"item":{},"ok":true,"reply":"response","request":"selected","text":"{\r\n}"})"},
        {"{\r\n  \"pcmsr\": 0\r\n}", R"({"item":{"pcmsr":0},"ok":true,"reply":"response","request":"selected","text":"{\r\n  \"pcmsr\": 0\r\n}"})"},
        // Text that is not JSON is still passed on, just not as an object.
        {"{broken", R"({"ok":true,"reply":"response","request":"selected","text":"{broken"})"},
    };

    for (const auto& c : cases)
    {
        BVReaper::ServerMessage reply;
        reply.set_type (BVReaper::ServerMessage::RESPONSE);
        reply.mutable_response()->set_text (c.text);

        EXPECT_EQ (reply_formatter::describeReply (request, reply.SerializeAsString(), true).text, c.json) << c.text;
    }
}
