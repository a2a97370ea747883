#include <random>

#include "HostModelFixture.h"

using handler_testing::HostModelTest;
using testing_support::fromHex;
using testing_support::toHex;

namespace
{
const std::string versionReply = "08 03 BA 06 10 0A 0E " + toHex ("reaper ext 1.1");
const std::string parseFailureLog = "ASSERT|Unable to parse message";

std::string joined (const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines)
        out += (out.empty() ? "" : "|") + line;
    return out;
}

std::string repliesHex (const std::vector<std::string>& packets)
{
    std::string out;
    for (const auto& packet : packets)
        out += (out.empty() ? "" : " / ") + toHex (packet);
    return out;
}

struct DispatchCase
{
    const char* name;
    std::string payloadHex;
    std::string replyHex; // empty: no reply at all
    std::string log;      // lines joined with '|', assertion lines as ASSERT
};
} // namespace

class RequestDispatch : public HostModelTest
{
};

TEST_F (RequestDispatch, RepliesAndLogLinesPerPacket)
{
    const DispatchCase cases[] = {
        {"info request", "08 02", "", "Info request"},
        {"version request", "08 03", versionReply, ""},
        {"invalid type", "08 07", "", parseFailureLog},
        {"type 0", "08 00", "", parseFailureLog},
        {"empty packet", "", "", parseFailureLog},
        {"invalid type dropped, valid one after", "08 07 08 03", versionReply, ""},
        {"valid type, invalid one after", "08 03 08 07", versionReply, ""},
        {"last valid type wins", "08 03 08 02", "", "Info request"},
        {"payload without type", "AA 06 05 0A 03 61 62 63", "", parseFailureLog},
        {"truncated trailing field", "08 03 BA 06 05 0A", "", parseFailureLog},
        {"truncated key", "08 03 BA", "", parseFailureLog},
        {"malformed varint", "08 FF FF FF FF FF FF FF FF FF FF FF", "", parseFailureLog},
        {"end-group key", "08 03 0C", "", parseFailureLog},
        {"unknown field 104 ignored", "08 03 C2 06 00", versionReply, ""},
        {"version request carrying a spot", "08 03 AA 06 05 0A 03 61 62 63", versionReply, ""},
        {"spot without file_path", "08 01 AA 06 02 12 00", "", parseFailureLog},
        {"open project without path", "08 05 CA 06 00", "", parseFailureLog},
        {"open project", "08 05 CA 06 05 0A 03 61 62 63", "08 04", "Open Media Explorer Item:abc"},
        {"open project without payload", "08 05", "08 04", "ASSERT|Open Media Explorer Item:"},
        {"open project, non-ASCII path", "08 05 CA 06 06 0A 04 2F C3 A9 61", "08 04", "Open Media Explorer Item:/\xC3\xA9"
                                                                                      "a"},
        {"open project, path ends at NUL", "08 05 CA 06 07 0A 05 61 62 00 63 64", "08 04", "Open Media Explorer Item:ab"},
        {"selected file, nothing selected", "08 06", "08 01 AA 06 06 12 04 6E 75 6C 6C", ""},
        {"session, no path", "08 04", "08 01 AA 06 02 12 00", ""},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        log.lines.clear();
        replies.packets.clear();

        handleHex (c.payloadHex);

        EXPECT_EQ (repliesHex (replies.packets), c.replyHex.empty() ? "" : toHex (fromHex (c.replyHex)));
        EXPECT_EQ (joined (log.linesWithAssertionsMarked()), c.log);
        // None of these changes the project, so none makes an undo point or holds redraws.
        EXPECT_EQ (model.journal().countOf ("Undo_BeginBlock2") + model.journal().countOf ("PreventUIRefresh"), 0);
    }
}

TEST_F (RequestDispatch, OpenProjectCallsTheMediaExplorerWithThePath)
{
    handleHex ("08 05 CA 06 07 0A 05 61 62 00 63 64");
    handleHex ("08 05");

    const auto& requests = model.project().explorerRequests;
    ASSERT_EQ (requests.size(), 2u);
    EXPECT_EQ (requests[0].file, "ab");
    EXPECT_TRUE (requests[0].play);
    EXPECT_EQ (requests[1].file, "");
    EXPECT_TRUE (requests[1].play);
    EXPECT_EQ (model.journal().functionNames(), (std::vector<std::string>{"OpenMediaExplorer", "OpenMediaExplorer"}));
}

TEST_F (RequestDispatch, SessionReplyCarriesTheProjectPath)
{
    const struct
    {
        std::string path;
    } cases[] = {{"/Users/sam/Projects/Film"}, {"/Vol/\xC3\xA9t\xC3\xA9"}, {std::string (125, 'p')}, {std::string (3000, 'q')}};

    for (const auto& c : cases)
    {
        replies.packets.clear();
        model.setProjectPath (c.path);

        handleHex ("08 04");

        ASSERT_EQ (replies.packets.size(), 1u);
        const auto reply = replies.onlyReply();
        EXPECT_EQ (reply.type(), BVReaper::ServerMessage::RESPONSE);
        EXPECT_TRUE (reply.response().has_text());
        EXPECT_FALSE (reply.response().has_code());
        EXPECT_EQ (reply.response().text(), c.path);

        if (c.path.size() <= 125)
        {
            const auto n = static_cast<char> (c.path.size());
            EXPECT_EQ (toHex (replies.packets[0]), toHex (fromHex ("08 01 AA 06") + static_cast<char> (n + 2) + '\x12' + n + c.path));
        }
    }

    EXPECT_TRUE (log.lines.empty());
}

TEST_F (RequestDispatch, PacketsAreAnsweredInArrivalOrder)
{
    model.setProjectPath ("/p");

    handleHex ("08 04");
    handleHex ("08 03");
    handleHex ("08 02");
    handleHex ("08 05 CA 06 03 0A 01 78");

    ASSERT_EQ (replies.packets.size(), 3u);
    EXPECT_EQ (toHex (replies.packets[0]), toHex (fromHex ("08 01 AA 06 04 12 02 2F 70")));
    EXPECT_EQ (toHex (replies.packets[1]), toHex (fromHex (versionReply)));
    EXPECT_EQ (toHex (replies.packets[2]), "08 04");
}

TEST_F (RequestDispatch, FailedSendIsNeitherLoggedNorRetried)
{
    replies.succeed = false;

    handleHex ("08 03");

    EXPECT_EQ (replies.packets.size(), 1u);
    EXPECT_TRUE (log.lines.empty());
}

// Whatever arrives on the pipe, handling ends normally with at most one reply, and every
// reply is a message the library application can decode.
TEST_F (RequestDispatch, ArbitraryBytesNeverBreakHandling)
{
    std::mt19937 random (7);
    std::uniform_int_distribution<int> byte (0, 255);
    std::uniform_int_distribution<int> length (0, 48);
    const std::string prefixes[] = {"", fromHex ("08 01 AA 06"), fromHex ("08 05 CA 06"), fromHex ("08 06"), fromHex ("08 01")};

    for (int round = 0; round < 3000; ++round)
    {
        std::string payload = prefixes[static_cast<size_t> (round) % std::size (prefixes)];
        const int n = length (random);
        for (int i = 0; i < n; ++i)
            payload += static_cast<char> (byte (random));

        replies.packets.clear();
        handle (payload);

        ASSERT_LE (replies.packets.size(), 1u) << toHex (payload);
        if (!replies.packets.empty())
        {
            BVReaper::ServerMessage reply;
            EXPECT_TRUE (BVReaper::parseServerMessage (replies.packets[0].data(), replies.packets[0].size(), reply)) << toHex (payload);
        }
    }
}
