#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "../support/Hex.h"
#include "ProtocolParsing.h"
#include "Utf8Text.h"
#include "pipe/ReplyChannel.h"

using namespace BVReaper;
using testing_support::fromHex;
using testing_support::toHex;

namespace
{
std::string encode (const google::protobuf::MessageLite& message)
{
    return message.SerializeAsString();
}

struct EncodeCase
{
    const char* name;
    std::function<std::string()> build;
    const char* hex;
};

std::string versionReplyHex()
{
    return "08 03 BA 06 10 0A 0E " + toHex ("reaper ext 1.1");
}
} // namespace

TEST (ProtocolEncoding, WorkedEncodingsAreByteExact)
{
    const EncodeCase cases[] = {
        {"version request", []
         {
             ClientMessage m;
             m.set_type (ClientMessage::VERSION_REQUEST);
             return encode (m);
         },
         "08 03"},
        {"spot abc", []
         {
             ClientMessage m;
             m.set_type (ClientMessage::SPOT_COMMAND);
             m.mutable_spot()->set_file_path ("abc");
             return encode (m);
         },
         "08 01 AA 06 05 0A 03 61 62 63"},
        {"spot abc with offset, rate, pitch", []
         {
             ClientMessage m;
             m.set_type (ClientMessage::SPOT_COMMAND);
             auto* spot = m.mutable_spot();
             spot->set_file_path ("abc");
             spot->set_start_offset (0.5f);
             spot->set_play_rate (2.0f);
             spot->set_preserve_pitch (true);
             return encode (m);
         },
         "08 01 AA 06 11 0A 03 61 62 63 1D 00 00 00 3F 35 00 00 00 40 38 01"},
        {"media explorer abc", []
         {
             ClientMessage m;
             m.set_type (ClientMessage::OPEN_PROJECT_REQUEST);
             m.mutable_open_project()->set_path ("abc");
             return encode (m);
         },
         "08 05 CA 06 05 0A 03 61 62 63"},
        {"spot succeeded", []
         {
             ServerMessage m;
             m.set_type (ServerMessage::COMMAND_RESULT);
             return encode (m);
         },
         "08 04"},
        {"spot failed", []
         {
             ServerMessage m;
             m.set_type (ServerMessage::COMMAND_RESULT);
             m.mutable_error()->set_description ("No track");
             return encode (m);
         },
         "08 04 B2 06 0A 1A 08 4E 6F 20 74 72 61 63 6B"},
        {"type equal to its default is still written", []
         {
             ServerMessage m;
             m.set_type (ServerMessage::RESPONSE);
             return encode (m);
         },
         "08 01"},
        {"negative int32 takes ten varint bytes", []
         {
             Response r;
             r.set_code (-1);
             return encode (r);
         },
         "08 FF FF FF FF FF FF FF FF FF 01"},
        {"empty embedded message", []
         {
             ClientMessage m;
             m.set_type (ClientMessage::SESSION_REQUEST);
             m.mutable_session();
             return encode (m);
         },
         "08 04 B2 06 00"},
    };

    for (const auto& c : cases)
        EXPECT_EQ (toHex (c.build()), toHex (fromHex (c.hex))) << c.name;

    ServerMessage version;
    version.set_type (ServerMessage::VERSION);
    version.mutable_version()->set_version ("reaper ext 1.1");
    EXPECT_EQ (toHex (encode (version)), versionReplyHex());
    EXPECT_EQ (encode (version).size(), 21u);
}

TEST (ProtocolDecoding, RejectsWhatTheSchemaRejects)
{
    const struct
    {
        const char* name;
        const char* hex;
    } rejected[] = {
        {"type 0", "08 00"},
        {"type 7", "08 07"},
        {"no type", ""},
        {"payload only", "AA 06 05 0A 03 61 62 63"},
        {"spot without file_path", "08 01 AA 06 02 10 00"},
        {"open_project without path", "08 05 CA 06 02 10 01"},
        {"truncated field after a valid type", "08 03 12"},
        {"length past the end", "08 03 AA 06 09 0A 03 61"},
        {"malformed varint", "08 FF FF FF FF FF FF FF FF FF FF FF"},
        {"wire type 6", "08 03 0E"},
        {"wire type 7", "08 03 0F"},
        {"stray end-group", "08 03 0C"},
    };

    for (const auto& c : rejected)
    {
        const auto bytes = fromHex (c.hex);
        ClientMessage m;
        EXPECT_FALSE (parseClientMessage (bytes.data(), bytes.size(), m)) << c.name;
    }
}

TEST (ProtocolDecoding, AcceptsAndReadsAsTheWireRulesSay)
{
    ClientMessage m;

    auto parse = [&m] (const char* hex)
    {
        const auto bytes = fromHex (hex);
        return parseClientMessage (bytes.data(), bytes.size(), m);
    };

    // An unknown field number is skipped.
    ASSERT_TRUE (parse ("08 03 C2 06 01 00"));
    EXPECT_EQ (m.type(), ClientMessage::VERSION_REQUEST);

    // The last occurrence of a scalar wins; out-of-range enum values are dropped.
    ASSERT_TRUE (parse ("08 03 08 01"));
    EXPECT_EQ (m.type(), ClientMessage::SPOT_COMMAND);
    ASSERT_TRUE (parse ("08 07 08 03"));
    EXPECT_EQ (m.type(), ClientMessage::VERSION_REQUEST);
    ASSERT_TRUE (parse ("08 03 08 07"));
    EXPECT_EQ (m.type(), ClientMessage::VERSION_REQUEST);

    // A spot request without its payload reads the defaults.
    ASSERT_TRUE (parse ("08 01"));
    EXPECT_FALSE (m.has_spot());
    EXPECT_EQ (m.spot().file_path(), "");
    EXPECT_EQ (m.spot().play_rate(), 1.0f);
    EXPECT_EQ (m.spot().volume(), 1.0f);
    EXPECT_FALSE (m.spot().has_play_rate());

    // Two spot payloads merge field by field.
    ASSERT_TRUE (parse ("08 01 AA 06 05 0A 03 61 62 63 AA 06 05 1D 00 00 00 3F"));
    EXPECT_EQ (m.spot().file_path(), "abc");
    EXPECT_TRUE (m.spot().has_start_offset());
    EXPECT_EQ (m.spot().start_offset(), 0.5f);

    // Any nonzero varint is a true bool; a field under a wrong wire type is skipped.
    ASSERT_TRUE (parse ("08 01 AA 06 07 0A 03 61 62 63 38 05"));
    EXPECT_TRUE (m.spot().preserve_pitch());
    ASSERT_TRUE (parse ("08 01 AA 06 07 0A 03 61 62 63 18 05"));
    EXPECT_FALSE (m.spot().has_start_offset());

    // Floats arrive unchecked.
    ASSERT_TRUE (parse ("08 01 AA 06 0A 0A 03 61 62 63 35 00 00 C0 7F"));
    EXPECT_TRUE (std::isnan (m.spot().play_rate()));

    // OpenProjectRequest's booleans default to true.
    ASSERT_TRUE (parse ("08 05 CA 06 05 0A 03 61 62 63"));
    EXPECT_TRUE (m.open_project().option_a());
    EXPECT_TRUE (m.open_project().option_b());

    // A parse clears what an earlier one left.
    ASSERT_TRUE (parse ("08 02"));
    EXPECT_FALSE (m.has_open_project());
}

TEST (ProtocolDecoding, OutOfRangeErrorKindIsDropped)
{
    const auto bytes = fromHex ("08 03");
    ErrorMessage e;
    ASSERT_TRUE (e.ParseFromArray (bytes.data(), static_cast<int> (bytes.size())));
    EXPECT_FALSE (e.has_kind());
    EXPECT_EQ (e.kind(), ErrorMessage::KIND_A);
}

TEST (SerializeMessage, ProducesExactlyTheEncodedBytes)
{
    ServerMessage reply;
    reply.set_type (ServerMessage::VERSION);
    reply.mutable_version()->set_version ("reaper ext 1.1");

    const auto block = serializeMessage (reply);
    ASSERT_FALSE (block.empty());
    EXPECT_EQ (toHex (std::string (block.begin(), block.end())), versionReplyHex());

    // An empty message has nothing to send.
    EXPECT_TRUE (serializeMessage (Response()).empty());
}

// Text made UTF-8 for log lines and failure texts: each byte that is not UTF-8 becomes U+FFFD,
// wherever it stands in a run of ASCII, and the text ends at its first NUL.
TEST (Utf8Text, SanitizedReplacesEachMalformedByteAndKeepsTheRest)
{
    const std::string r = "\xEF\xBF\xBD";
    const struct
    {
        std::string bytes, before, text;
    } cases[] = {
        {"\xFF"
         "abcdefg\x80"
         "abcdefgh",
         "", r + "abcdefg" + r + "abcdefgh"},
        {"abcdefgh\xC3\xA9\xF0\x9F\x8E\xB5\xC0\x80\xE1\x80", "", "abcdefgh\xC3\xA9\xF0\x9F\x8E\xB5" + r + r + r + r},
        {std::string (1000, '\xFE') + "x", "Unable:", [&]
         { std::string t = "Unable:"; for (int i = 0; i < 1000; ++i) t += r; return t + "x"; }()},
        {std::string ("ab\0\xFF", 4), "", "ab"},
    };

    for (const auto& c : cases)
        EXPECT_EQ (utf8::sanitized (c.bytes, c.before), c.text) << testing_support::toHex (c.bytes.substr (0, 16));
}
