#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "HostModelFixture.h"
#include "MediaSource.h"

using handler_testing::HostModelTest;
using reaper_host::MediaSource;
using testing_support::fromHex;
using testing_support::toHex;

namespace
{
constexpr int toneRate = 8000;
constexpr std::int64_t toneFrames = 40000; // 5 s

std::vector<std::string> linesStartingWith (const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.rfind (prefix, 0) == 0)
            out.push_back (line);
    return out;
}
} // namespace

// A project with three tracks, a 5-second audio file, and spots sent through the dispatch.
class Spot : public HostModelTest
{
protected:
    Spot()
    {
        for (int i = 0; i < 3; ++i)
            model.addTrack();
        model.journal().clear();
    }

    // Sends a SPOT_COMMAND for the tone file, after letting edit() change the request.
    void spot (const std::function<void (BVReaper::SpotCommand&)>& edit = {})
    {
        BVReaper::ClientMessage request;
        request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
        request.mutable_spot()->set_file_path (tone);
        if (edit)
            edit (*request.mutable_spot());
        handle (request.SerializeAsString());
    }

    reaper_host::Item* onlyItem()
    {
        const auto items = model.allItems();
        EXPECT_EQ (items.size(), 1u);
        return items.size() == 1 ? items[0] : nullptr;
    }

    reaper_host::Take* onlyTake()
    {
        auto* item = onlyItem();
        EXPECT_TRUE (item != nullptr && item->takes.size() == 1);
        return item != nullptr && item->takes.size() == 1 ? item->takes[0].get() : nullptr;
    }

    std::vector<std::string> takeValueWrites()
    {
        return linesStartingWith (model.journal().lines(), "SetMediaItemTakeInfo_Value(");
    }

    std::string errorText()
    {
        const auto reply = replies.onlyReply();
        return reply.has_error() ? reply.error().description() : std::string ("<no error>");
    }

    const int sourcesBefore = MediaSource::liveCount();
    std::string tone = audioFile ("tone.wav", toneRate, toneFrames);
};

TEST_F (Spot, SuccessfulSpotMakesTheHostCallsAndLogLinesInOrder)
{
    model.setCursor (1.0);

    spot();

    EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
    // Every host call of the spot, with its arguments, in order.
    EXPECT_EQ (model.journal().lines(),
               (std::vector<std::string>{"PCM_Source_CreateFromFile(\"" + tone + "\") -> source1",
                                         "GetCursorPosition() -> 1",
                                         "GetSelectedTrack(null, 0) -> null",
                                         "CountTracks(null) -> 3",
                                         "GetTrack(null, 0) -> track1",
                                         "Undo_BeginBlock2(null)",
                                         "PreventUIRefresh(1)",
                                         "AddMediaItemToTrack(track1) -> item1",
                                         "AddTakeToMediaItem(item1) -> take1",
                                         "GetMediaSourceLength(source1, out) -> 5",
                                         "GetSet_LoopTimeRange2(null, false, false, out, out, false) -> start=0, end=0",
                                         "SetMediaItemInfo_Value(item1, \"B_LOOPSRC\", 0) -> true",
                                         "GetSetMediaItemTakeInfo(take1, \"P_NAME\", \"\") -> \"\"",
                                         "GetSetMediaItemTakeInfo_String(take1, \"P_NAME\", \"\", true) -> true",
                                         "SetMediaItemLength(item1, 5, true) -> true",
                                         "SetMediaItemPosition(item1, 1, true) -> true",
                                         "SetMediaItemTake_Source(take1, source1) -> true",
                                         "UpdateItemInProject(item1)",
                                         "Main_OnCommand(40047, 0)",
                                         "UpdateTimeline()",
                                         "SetEditCurPos(6, true, false)",
                                         "PreventUIRefresh(-1)",
                                         "Undo_EndBlock2(null, \"Spot: tone\", 4)"}));
    EXPECT_EQ (log.lines,
               (std::vector<std::string>{"Spotting:" + tone, "Loop Selection In:0.000000 Out:0.000000",
                                         "Current Position:1 Length:5 New Position:6"}));

    auto* item = onlyItem();
    ASSERT_NE (item, nullptr);
    EXPECT_EQ (item->track, model.track (0));
    EXPECT_EQ (item->position, 1.0);
    EXPECT_EQ (item->length, 5.0);
    EXPECT_FALSE (item->loopSource);
    ASSERT_EQ (item->takes.size(), 1u);
    EXPECT_NE (item->takes[0]->source, nullptr);
    EXPECT_EQ (model.project().actions.size(), 1u);
    EXPECT_EQ (model.project().actions.at (0).command, 40047);
    EXPECT_EQ (model.project().actions.at (0).flag, 0);
    EXPECT_EQ (model.project().cursor, 6.0);
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + 1);
}

TEST_F (Spot, TrackChoice)
{
    const struct
    {
        const char* name;
        int tracks;
        std::vector<int> selected;
        int expectedTrack; // -1: refused with "No track"
    } cases[] = {
        {"no tracks at all", 0, {}, -1},
        {"nothing selected: first track", 3, {}, 0},
        {"one selected", 3, {2}, 2},
        {"several selected: first selected", 3, {1, 2}, 1},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        for (int i = 0; i < c.tracks; ++i)
            model.addTrack();
        model.selectTracks (c.selected);
        replies.packets.clear();
        log.lines.clear();

        spot();

        if (c.expectedTrack < 0)
        {
            EXPECT_EQ (toHex (replies.packets.at (0)), toHex (fromHex ("08 04 B2 06 0A 1A 08") + "No track"));
            EXPECT_EQ (model.itemCount(), 0);
            // Only the closing assertion of a failed spot; the track step itself logs none.
            EXPECT_EQ (log.linesWithAssertionsMarked(), (std::vector<std::string>{"Spotting:" + tone, "ASSERT", "No track"}));
            EXPECT_EQ (MediaSource::liveCount(), sourcesBefore);
        }
        else
        {
            ASSERT_NE (onlyItem(), nullptr);
            EXPECT_EQ (onlyItem()->track, model.track (c.expectedTrack));
        }
    }
}

TEST_F (Spot, OffsetsAndLength)
{
    const struct
    {
        const char* name;
        std::function<void (BVReaper::SpotCommand&)> edit;
        double length;
        std::vector<std::string> writes;
    } cases[] = {
        {"neither", {}, 5.0, {}},
        {"start only: whole source", [] (auto& s)
         { s.set_start_offset (2.0f); },
         5.0,
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 2) -> true"}},
        {"end only", [] (auto& s)
         { s.set_end_offset (3.0f); },
         3.0,
         {}},
        {"start and end",
         [] (auto& s)
         {
             s.set_start_offset (1.5f);
             s.set_end_offset (4.0f);
         },
         2.5,
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 1.5) -> true"}},
        {"single-precision subtraction",
         [] (auto& s)
         {
             s.set_start_offset (0.1f);
             s.set_end_offset (0.3f);
         },
         0.20000001788139343,
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 0.10000000149011612) -> true"}},
        {"negative start allowed",
         [] (auto& s)
         {
             s.set_start_offset (-0.5f);
             s.set_end_offset (1.0f);
         },
         1.5,
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", -0.5) -> true"}},
        {"start present at its default 0", [] (auto& s)
         { s.set_start_offset (0.0f); },
         5.0,
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 0) -> true"}},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        replies.packets.clear();

        spot (c.edit);

        EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
        ASSERT_NE (onlyItem(), nullptr);
        EXPECT_EQ (onlyItem()->length, c.length);
        EXPECT_EQ (takeValueWrites(), c.writes);
    }
}

TEST_F (Spot, RatePitchAndVolume)
{
    const struct
    {
        const char* name;
        std::function<void (BVReaper::SpotCommand&)> edit;
        std::vector<std::string> writes;
    } cases[] = {
        {"pitch without rate: nothing", [] (auto& s)
         { s.set_preserve_pitch (true); },
         {}},
        {"rate without pitch", [] (auto& s)
         { s.set_play_rate (2.0f); },
         {"SetMediaItemTakeInfo_Value(take1, \"D_PLAYRATE\", 2) -> true", "SetMediaItemTakeInfo_Value(take1, \"B_PPITCH\", 0) -> true"}},
        {"rate with pitch",
         [] (auto& s)
         {
             s.set_play_rate (0.5f);
             s.set_preserve_pitch (true);
         },
         {"SetMediaItemTakeInfo_Value(take1, \"D_PLAYRATE\", 0.5) -> true", "SetMediaItemTakeInfo_Value(take1, \"B_PPITCH\", 1) -> true"}},
        {"rate present at its default", [] (auto& s)
         { s.set_play_rate (1.0f); },
         {"SetMediaItemTakeInfo_Value(take1, \"D_PLAYRATE\", 1) -> true", "SetMediaItemTakeInfo_Value(take1, \"B_PPITCH\", 0) -> true"}},
        {"volume", [] (auto& s)
         { s.set_volume (0.25f); },
         {"SetMediaItemTakeInfo_Value(take1, \"D_VOL\", 0.25) -> true"}},
        {"volume 0 is silence, allowed", [] (auto& s)
         { s.set_volume (0.0f); },
         {"SetMediaItemTakeInfo_Value(take1, \"D_VOL\", 0) -> true"}},
        {"all, in order",
         [] (auto& s)
         {
             s.set_volume (2.0f);
             s.set_play_rate (1.5f);
             s.set_start_offset (1.0f);
         },
         {"SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 1) -> true", "SetMediaItemTakeInfo_Value(take1, \"D_PLAYRATE\", 1.5) -> true",
          "SetMediaItemTakeInfo_Value(take1, \"B_PPITCH\", 0) -> true", "SetMediaItemTakeInfo_Value(take1, \"D_VOL\", 2) -> true"}},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();

        spot (c.edit);

        EXPECT_EQ (takeValueWrites(), c.writes);
        ASSERT_NE (onlyItem(), nullptr);
        EXPECT_EQ (onlyItem()->length, 5.0); // the rate never changes the length
    }
}

TEST_F (Spot, TakeNameIsSetThroughBothCalls)
{
    const struct
    {
        const char* name;
        std::function<void (BVReaper::SpotCommand&)> edit;
        std::string expected;
    } cases[] = {
        {"absent", {}, ""},
        {"given", [] (auto& s)
         { s.set_take_name ("Door \xC3\xA9"); },
         "Door \xC3\xA9"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();

        spot (c.edit);

        ASSERT_NE (onlyTake(), nullptr);
        EXPECT_EQ (onlyTake()->name, c.expected);
        const auto plain = model.journal().callsTo ("GetSetMediaItemTakeInfo");
        const auto viaString = model.journal().callsTo ("GetSetMediaItemTakeInfo_String");
        ASSERT_EQ (plain.size(), 1u);
        ASSERT_EQ (viaString.size(), 1u);
        EXPECT_EQ (plain[0].arguments.at (1), "\"P_NAME\"");
        EXPECT_EQ (viaString[0].arguments.at (1), "\"P_NAME\"");
        EXPECT_EQ (viaString[0].arguments.at (3), "true");
    }
}

TEST_F (Spot, PoolFlagOnlyAddsALogLine)
{
    const struct
    {
        const char* name;
        std::function<void (BVReaper::SpotCommand&)> edit;
        bool logged;
    } cases[] = {
        {"absent", {}, false},
        {"false", [] (auto& s)
         { s.set_pool_only (false); },
         false},
        {"true", [] (auto& s)
         { s.set_pool_only (true); },
         true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        model.setCursor (2.0);
        log.lines.clear();

        spot (c.edit);

        const bool logged = log.lines.size() > 1 && log.lines[1] == "Importing to Pool only";
        EXPECT_EQ (logged, c.logged);
        EXPECT_EQ (log.lines.size(), c.logged ? 4u : 3u);
        ASSERT_NE (onlyItem(), nullptr);
        EXPECT_EQ (onlyItem()->position, 2.0);
        EXPECT_EQ (onlyItem()->length, 5.0);
    }
}

TEST_F (Spot, TrimmingToTheTimeSelection)
{
    const struct
    {
        const char* name;
        double cursor, selectionStart, selectionEnd;
        double length; // the 5 s source, possibly trimmed
    } cases[] = {
        {"cursor inside", 10, 8, 12, 2},
        {"cursor at selection start", 8, 8, 12, 4},
        {"cursor at selection end", 12, 8, 12, 5},
        {"item ends at selection end", 7, 6, 12, 5},
        {"item ends before selection end", 7, 6, 13, 5},
        {"cursor before selection", 5, 6, 8, 5},
        {"cursor after selection", 13, 6, 8, 5},
        {"empty selection", 10, 10, 10, 5},
        {"no selection", 10, 0, 0, 5},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        model.setCursor (c.cursor);
        model.setTimeSelection (c.selectionStart, c.selectionEnd);
        log.lines.clear();

        spot();

        ASSERT_NE (onlyItem(), nullptr);
        EXPECT_EQ (onlyItem()->length, c.length);
        EXPECT_EQ (onlyItem()->position, c.cursor);
        EXPECT_EQ (model.project().cursor, c.cursor + c.length);
        char expected[128];
        std::snprintf (expected, sizeof (expected), "Loop Selection In:%f Out:%f", c.selectionStart, c.selectionEnd);
        EXPECT_EQ (log.lines.at (1), expected);
    }
}

TEST_F (Spot, SelectionAndPositionLines)
{
    const struct
    {
        double cursor, selectionStart, selectionEnd;
        std::function<void (BVReaper::SpotCommand&)> edit;
        const char* selectionLine;
        const char* positionLine;
    } cases[] = {
        {10, 1.5, 4, [] (auto& s)
         { s.set_end_offset (2.5f); },
         "Loop Selection In:1.500000 Out:4.000000", "Current Position:10 Length:2.5 New Position:12.5"},
        {1234567, 0, 0, {}, "Loop Selection In:0.000000 Out:0.000000", "Current Position:1.23457e+06 Length:5 New Position:1.23457e+06"},
        {0.0001, 0, 0, [] (auto& s)
         { s.set_end_offset (0.00002f); },
         "Loop Selection In:0.000000 Out:0.000000", "Current Position:0.0001 Length:2e-05 New Position:0.00012"},
        {2.0 / 3.0, 0.25, 1, {}, "Loop Selection In:0.250000 Out:1.000000", "Current Position:0.666667 Length:0.333333 New Position:1"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.positionLine);
        model.reset();
        model.addTrack();
        model.setCursor (c.cursor);
        model.setTimeSelection (c.selectionStart, c.selectionEnd);
        log.lines.clear();

        spot (c.edit);

        ASSERT_EQ (log.lines.size(), 3u);
        EXPECT_EQ (log.lines[1], c.selectionLine);
        EXPECT_EQ (log.lines[2], c.positionLine);
        const auto moves = model.journal().callsTo ("SetEditCurPos");
        ASSERT_EQ (moves.size(), 1u);
        EXPECT_EQ (moves[0].arguments.at (1), "true");
        EXPECT_EQ (moves[0].arguments.at (2), "false");
        ASSERT_NE (onlyItem(), nullptr);
        EXPECT_EQ (model.project().cursor, c.cursor + onlyItem()->length);
    }
}

TEST_F (Spot, HostRefusalsStillSucceedWithOneAssertionEach)
{
    const struct
    {
        std::vector<const char*> refused;
        bool sourceKept;
    } cases[] = {
        {{"SetMediaItemLength"}, true},
        {{"SetMediaItemPosition"}, true},
        {{"SetMediaItemTake_Source"}, false},
        {{"SetMediaItemLength", "SetMediaItemPosition", "SetMediaItemTake_Source"}, false},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.refused.front());
        model.reset();
        model.addTrack();
        for (const auto* name : c.refused)
            model.faults().fail (name);
        replies.packets.clear();
        log.lines.clear();

        spot();

        EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
        EXPECT_EQ (log.assertionCount(), static_cast<int> (c.refused.size()));
        EXPECT_EQ (log.lines.back(), "Current Position:0 Length:5 New Position:5");
        ASSERT_NE (onlyTake(), nullptr);
        EXPECT_EQ (onlyTake()->source != nullptr, c.sourceKept);
        // A source that no take took is released, not leaked.
        EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + (c.sourceKept ? 1 : 0));
    }
}

TEST_F (Spot, FailuresAreRepliedThenLogged)
{
    const struct
    {
        const char* name;
        std::function<void()> arrange;
        std::string path;
        std::string failure;
        int itemsAfter;
        int assertionsBeforeReply;
    } cases[] = {
        {"source cannot be created", [] {}, "/no/such/file.wav", "Unable to find source file:/no/such/file.wav", 0, 2},
        {"host refuses the source", [this]
         { model.faults().fail ("PCM_Source_CreateFromFile"); },
         "", "Unable to find source file:", 0, 1},
        {"first track cannot be had", [this]
         { model.faults().fail ("GetTrack"); },
         "", "No Tracks in session", 0, 1},
        {"item not created", [this]
         { model.faults().fail ("AddMediaItemToTrack"); },
         "", "No media item", 0, 1},
        {"take not created", [this]
         { model.faults().fail ("AddTakeToMediaItem"); },
         "", "No take", 0, 1},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        c.arrange();
        const auto path = c.path.empty() ? tone : c.path;
        const auto failure = c.path.empty() && c.failure == "Unable to find source file:" ? c.failure + tone : c.failure;
        replies.packets.clear();
        log.lines.clear();
        log.events.clear();

        BVReaper::ClientMessage request;
        request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
        request.mutable_spot()->set_file_path (path);
        handle (request.SerializeAsString());

        ASSERT_EQ (replies.packets.size(), 1u);
        EXPECT_EQ (toHex (replies.packets[0]),
                   toHex (fromHex ("08 04 B2 06") + static_cast<char> (failure.size() + 2) + '\x1A' + static_cast<char> (failure.size()) + failure));
        EXPECT_EQ (model.itemCount(), c.itemsAfter);
        EXPECT_EQ (MediaSource::liveCount(), sourcesBefore);

        // The reply goes out before the closing assertion line and the failure text.
        ASSERT_GE (log.events.size(), 3u);
        const auto n = log.events.size();
        EXPECT_EQ (log.events[n - 3], "send");
        EXPECT_TRUE (handler_testing::LogCapture::isAssertion (log.events[n - 2].substr (4)));
        EXPECT_EQ (log.events[n - 1], "log:" + failure);
        EXPECT_EQ (log.assertionCount(), c.assertionsBeforeReply + 1);
        EXPECT_EQ (log.lines.front(), "Spotting:" + path);
    }
}

TEST_F (Spot, UnsoundValuesAreRefusedBeforeAnythingIsCreated)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct
    {
        const char* name;
        std::function<void (BVReaper::SpotCommand&)> edit;
        const char* failure;
    } cases[] = {
        {"end equals start", [] (auto& s)
         { s.set_start_offset (2.0f); s.set_end_offset (2.0f); },
         "Invalid end offset: must be greater than the start offset"},
        {"end before start", [] (auto& s)
         { s.set_start_offset (3.0f); s.set_end_offset (1.0f); },
         "Invalid end offset: must be greater than the start offset"},
        {"end 0 without start", [] (auto& s)
         { s.set_end_offset (0.0f); },
         "Invalid end offset: must be greater than the start offset"},
        {"end negative without start", [] (auto& s)
         { s.set_end_offset (-1.0f); },
         "Invalid end offset: must be greater than the start offset"},
        {"end NaN", [=] (auto& s)
         { s.set_end_offset (nan); },
         "Invalid end offset: must be a finite number"},
        {"end infinite", [=] (auto& s)
         { s.set_end_offset (inf); },
         "Invalid end offset: must be a finite number"},
        {"difference would overflow", [] (auto& s)
         { s.set_start_offset (-3e38f); s.set_end_offset (3e38f); },
         "Invalid start offset: must be between -10000000 and 10000000 seconds"},
        {"start NaN", [=] (auto& s)
         { s.set_start_offset (nan); },
         "Invalid start offset: must be a finite number"},
        {"start infinite", [=] (auto& s)
         { s.set_start_offset (-inf); },
         "Invalid start offset: must be a finite number"},
        {"rate 0", [] (auto& s)
         { s.set_play_rate (0.0f); },
         "Invalid play rate: must be a finite number greater than 0"},
        {"rate negative", [] (auto& s)
         { s.set_play_rate (-1.0f); },
         "Invalid play rate: must be a finite number greater than 0"},
        {"rate NaN", [=] (auto& s)
         { s.set_play_rate (nan); },
         "Invalid play rate: must be a finite number greater than 0"},
        {"rate infinite", [=] (auto& s)
         { s.set_play_rate (inf); },
         "Invalid play rate: must be a finite number greater than 0"},
        {"volume negative", [] (auto& s)
         { s.set_volume (-0.5f); },
         "Invalid volume: must be a finite number not below 0"},
        {"volume NaN", [=] (auto& s)
         { s.set_volume (nan); },
         "Invalid volume: must be a finite number not below 0"},
        {"volume infinite", [=] (auto& s)
         { s.set_volume (inf); },
         "Invalid volume: must be a finite number not below 0"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        model.setCursor (3.0);
        replies.packets.clear();
        log.lines.clear();

        spot (c.edit);

        EXPECT_EQ (errorText(), c.failure);
        EXPECT_TRUE (model.journal().entries().empty()); // REAPER was not even asked
        EXPECT_EQ (model.itemCount(), 0);
        EXPECT_EQ (model.project().cursor, 3.0);
        EXPECT_EQ (log.linesWithAssertionsMarked(), (std::vector<std::string>{"Spotting:" + tone, "ASSERT", c.failure}));
    }
}

// Each bound, just inside (placed) and just outside (refused with its text, nothing placed,
// the cursor where it was).
TEST_F (Spot, ValuesAtTheirBounds)
{
    const auto above = [] (float value)
    { return std::nextafter (value, std::numeric_limits<float>::infinity()); };
    const auto below = [] (float value)
    { return std::nextafter (value, -std::numeric_limits<float>::infinity()); };
    const std::string placed;
    const std::string startText = "Invalid start offset: must be between -10000000 and 10000000 seconds";
    const std::string rateText = "Invalid play rate: must be between 0.01 and 100";
    const struct
    {
        const char* name;
        double cursor;
        std::function<void (BVReaper::SpotCommand&)> edit;
        std::string failure;
    } cases[] = {
        {"start -1e7", 0, [] (auto& s)
         { s.set_start_offset (-1e7f); },
         placed},
        {"start below -1e7", 0, [&] (auto& s)
         { s.set_start_offset (below (-1e7f)); },
         startText},
        {"start 1e7", 0, [] (auto& s)
         { s.set_start_offset (1e7f); },
         placed},
        {"start above 1e7", 0, [&] (auto& s)
         { s.set_start_offset (above (1e7f)); },
         startText},
        {"end 1e7", 0, [] (auto& s)
         { s.set_end_offset (1e7f); },
         placed},
        {"end above 1e7", 0, [&] (auto& s)
         { s.set_end_offset (above (1e7f)); },
         "Invalid end offset: must not be beyond 10000000 seconds"},
        {"length 1e7", 0, [] (auto& s)
         { s.set_start_offset (-1.0f); s.set_end_offset (9999999.0f); },
         placed},
        {"length above 1e7", 0, [] (auto& s)
         { s.set_start_offset (-2.0f); s.set_end_offset (9999999.0f); },
         "Invalid end offset: the item would be longer than 10000000 seconds"},
        {"item ending at 1e7", 5, [] (auto& s)
         { s.set_end_offset (9999995.0f); },
         placed},
        {"item ending after 1e7", 5, [] (auto& s)
         { s.set_end_offset (9999996.0f); },
         "Invalid end offset: the item would end beyond 10000000 seconds"},
        // The item is as long as the stretch from the start offset to the end offset.
        {"item from a start offset ending at 1e7", 1000, [] (auto& s)
         { s.set_start_offset (100.0f); s.set_end_offset (9999100.0f); },
         placed},
        {"item from a negative start offset ending after 1e7", 5, [] (auto& s)
         { s.set_start_offset (-100.0f); s.set_end_offset (9999896.0f); },
         "Invalid end offset: the item would end beyond 10000000 seconds"},
        {"rate 0.01", 0, [] (auto& s)
         { s.set_play_rate (0.01f); },
         placed},
        {"rate below 0.01", 0, [&] (auto& s)
         { s.set_play_rate (below (0.01f)); },
         rateText},
        {"rate 1e-30", 0, [] (auto& s)
         { s.set_play_rate (1e-30f); },
         rateText},
        {"rate 100", 0, [] (auto& s)
         { s.set_play_rate (100.0f); },
         placed},
        {"rate above 100", 0, [&] (auto& s)
         { s.set_play_rate (above (100.0f)); },
         rateText},
        {"volume 0", 0, [] (auto& s)
         { s.set_volume (0.0f); },
         placed},
        {"volume +24 dB", 0, [] (auto& s)
         { s.set_volume (15.848932f); },
         placed},
        {"volume above +24 dB", 0, [&] (auto& s)
         { s.set_volume (above (15.848932f)); },
         "Invalid volume: must not be above 15.848932 (+24 dB)"},
        {"volume 1e30", 0, [] (auto& s)
         { s.set_volume (1e30f); },
         "Invalid volume: must not be above 15.848932 (+24 dB)"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        model.addTrack();
        model.setCursor (c.cursor);
        replies.packets.clear();
        log.lines.clear();
        const int sourcesBefore = MediaSource::liveCount();

        spot (c.edit);

        if (c.failure.empty())
        {
            EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
            EXPECT_EQ (model.itemCount(), 1);
            continue;
        }

        EXPECT_EQ (errorText(), c.failure);
        EXPECT_EQ (model.itemCount(), 0);
        EXPECT_EQ (model.project().cursor, c.cursor);
        EXPECT_EQ (MediaSource::liveCount(), sourcesBefore);
        EXPECT_EQ (log.lines.back(), c.failure);
    }
}

TEST_F (Spot, MissingPayloadGoesOnWithAnEmptyPath)
{
    handleHex ("08 01");

    EXPECT_EQ (errorText(), "Unable to find source file:");
    EXPECT_EQ (log.linesWithAssertionsMarked(),
               (std::vector<std::string>{"ASSERT", "Spotting:", "ASSERT", "ASSERT", "ASSERT", "Unable to find source file:"}));
    EXPECT_EQ (model.journal().lines().at (0), "PCM_Source_CreateFromFile(\"\") -> null");
}

// A path that cannot be shown to exist (here a relative one) is still handed to the host,
// which may open it; the only extra is one assertion line.
TEST_F (Spot, PathThatIsNoExistingFileIsStillPlaced)
{
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path (scratch.directory());
    const auto relative = std::filesystem::path (tone).filename().string();

    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (relative);
    handle (request.SerializeAsString());
    std::filesystem::current_path (previous);

    EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
    EXPECT_EQ (log.assertionCount(), 1);
    EXPECT_EQ (log.lines.size(), 4u);
    ASSERT_NE (onlyItem(), nullptr);
    EXPECT_EQ (onlyItem()->length, 5.0);
}

TEST_F (Spot, RealAudioFilesLandWithTheirLengthToTheSample)
{
    const struct
    {
        reaper_host::AudioFileFormat format;
        int rate;
        std::int64_t frames;
        const char* name;
    } cases[] = {
        {reaper_host::AudioFileFormat::wav16, 44100, 123457, "a.wav"},
        {reaper_host::AudioFileFormat::wav24, 48000, 1, "b.wav"},
        {reaper_host::AudioFileFormat::flac16, 96000, 96001, "c.flac"},
        {reaper_host::AudioFileFormat::aiff16, 22050, 7, "d.aiff"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto path = scratch.path (c.name);
        ASSERT_TRUE (reaper_host::writeAudioFile (path, c.format, c.rate, 2, c.frames));
        model.reset();
        model.addTrack();
        model.setCursor (0.5);

        BVReaper::ClientMessage request;
        request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
        request.mutable_spot()->set_file_path (path);
        handle (request.SerializeAsString());

        ASSERT_NE (onlyItem(), nullptr);
        const double expected = static_cast<double> (c.frames) / c.rate;
        EXPECT_EQ (onlyItem()->length, expected);
        EXPECT_EQ (std::llround (onlyItem()->length * c.rate), c.frames);
        EXPECT_EQ (model.project().cursor, 0.5 + expected);
    }
}

// --- Undo points ------------------------------------------------------------------------

TEST_F (Spot, UndoPointNamesTheSound)
{
    const struct
    {
        const char* path;
        const char* takeName; // null: absent
        const char* description;
    } cases[] = {
        {"/lib/door slam.wav", "Door \xC3\xA9", "Spot: Door \xC3\xA9"},
        {"/lib/door slam.wav", nullptr, "Spot: door slam"},
        {"/lib/door slam.wav", "", "Spot: door slam"},
        {"/lib/a.take.flac", nullptr, "Spot: a.take"},
        {"/lib.v2/knock", nullptr, "Spot: knock"},
        {"/lib/.hum", nullptr, "Spot: .hum"},
        {"knock.wav", nullptr, "Spot: knock"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.description);
        model.reset();
        model.addTrack();
        model.addVirtualAudioFile (c.path, 8000, 1, 8000);
        replies.packets.clear();

        spot ([&] (auto& s)
              {
                  s.set_file_path (c.path);
                  if (c.takeName != nullptr)
                      s.set_take_name (c.takeName); });

        EXPECT_EQ (toHex (replies.packets.at (0)), "08 04");
        const auto points = model.undoHistory().points();
        ASSERT_EQ (points.size(), 1u);
        EXPECT_EQ (points[0].description, c.description);
        EXPECT_EQ (points[0].flags, 4); // items
    }
}

TEST_F (Spot, EachSpotIsOneUndoPointAndUndoTakesBackOnlyTheLast)
{
    for (const char* name : {"A", "B", "C"})
        spot ([&] (auto& s)
              { s.set_take_name (name); });

    const auto points = model.undoHistory().points();
    ASSERT_EQ (points.size(), 3u);
    EXPECT_EQ (points[2].description, "Spot: C");
    EXPECT_EQ (model.project().refreshPrevention, 0);

    ASSERT_TRUE (model.undo());
    ASSERT_EQ (model.itemCount(), 2);
    EXPECT_EQ (model.allItems()[0]->takes.at (0)->name, "A");
    EXPECT_EQ (model.allItems()[1]->position, 5.0);
    EXPECT_EQ (model.allItems()[1]->takes.at (0)->name, "B");
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + 2);

    ASSERT_TRUE (model.redo());
    ASSERT_EQ (model.itemCount(), 3);
    EXPECT_EQ (model.allItems()[2]->position, 10.0);
    EXPECT_EQ (model.allItems()[2]->takes.at (0)->source->GetLength(), 5.0);
}

TEST_F (Spot, FailedSpotsLeaveTheProjectAsItWas)
{
    const struct
    {
        const char* name;
        int tracks;
        const char* failing; // null: none
        int blocks;          // undo blocks begun (and ended)
        bool itemRemoved;
    } cases[] = {
        {"source cannot be created", 1, "PCM_Source_CreateFromFile", 0, false},
        {"no track", 0, nullptr, 0, false},
        {"first track cannot be had", 1, "GetTrack", 0, false},
        {"item not created", 1, "AddMediaItemToTrack", 1, false},
        {"take not created", 1, "AddTakeToMediaItem", 1, true},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        for (int i = 0; i < c.tracks; ++i)
            model.addItem (model.addTrack(), 20, 1); // the user's own item
        if (c.failing != nullptr)
            model.faults().fail (c.failing);
        replies.packets.clear();

        spot();

        EXPECT_TRUE (replies.onlyReply().has_error());
        EXPECT_EQ (model.itemCount(), c.tracks) << "only the user's item is left";
        EXPECT_EQ (MediaSource::liveCount(), sourcesBefore);
        const auto& journal = model.journal();
        EXPECT_EQ (journal.countOf ("Undo_BeginBlock2"), c.blocks);
        EXPECT_EQ (journal.countOf ("Undo_EndBlock2"), c.blocks);
        EXPECT_EQ (journal.countOf ("PreventUIRefresh"), 2 * c.blocks);
        EXPECT_EQ (model.project().refreshPrevention, 0);
        EXPECT_EQ (model.undoHistory().openBlocks(), 0);
        EXPECT_EQ (journal.countOf ("DeleteTrackMediaItem"), c.itemRemoved ? 1 : 0);

        if (c.blocks > 0)
        {
            const auto lines = journal.lines();
            ASSERT_GE (lines.size(), 3u);
            EXPECT_EQ (lines[lines.size() - 3],
                       c.itemRemoved ? "DeleteTrackMediaItem(track1, item2) -> true" : "AddMediaItemToTrack(track1) -> null [injected failure]");
            EXPECT_EQ (lines[lines.size() - 2], "PreventUIRefresh(-1)");
            EXPECT_EQ (lines[lines.size() - 1], "Undo_EndBlock2(null, \"Spot: tone\", 4)");
            // Undoing the failed spot's point brings nothing back and takes nothing away.
            ASSERT_TRUE (model.undo());
            EXPECT_EQ (model.itemCount(), 1);
        }
    }
}

// A host without some of the optional functions gets the same calls as one with them,
// less the missing ones (and no begun block it could not end).
TEST_F (Spot, WithoutTheOptionalFunctionsTheCallsAreAsBefore)
{
    const std::vector<std::string> all = {"Undo_BeginBlock2", "Undo_EndBlock2", "PreventUIRefresh", "DeleteTrackMediaItem"};
    const struct
    {
        const char* name;
        std::vector<std::string> withheld;
        std::vector<std::string> leftOut; // calls missing compared with a host that has all
        const char* failing;
        int itemsAfter;
    } cases[] = {
        {"none, spot succeeds", all, all, nullptr, 1},
        {"none, take refused: the empty item stays", all, all, "AddTakeToMediaItem", 1},
        {"no Undo_EndBlock2: no block begun", {"Undo_EndBlock2"}, {"Undo_BeginBlock2", "Undo_EndBlock2"}, nullptr, 1},
        {"no Undo_BeginBlock2", {"Undo_BeginBlock2"}, {"Undo_BeginBlock2", "Undo_EndBlock2"}, "AddTakeToMediaItem", 0},
        {"no PreventUIRefresh", {"PreventUIRefresh"}, {"PreventUIRefresh"}, "AddTakeToMediaItem", 0},
        {"no DeleteTrackMediaItem", {"DeleteTrackMediaItem"}, {"DeleteTrackMediaItem"}, "AddTakeToMediaItem", 1},
    };

    auto run = [&] (const std::vector<std::string>& withheld, const char* failing)
    {
        model.reset();
        model.addTrack();
        for (const auto& name : withheld)
            model.withhold (name);
        EXPECT_EQ (bindOptionalHostApi (&reaper_host::getFunc), static_cast<int> (withheld.size()));
        if (failing != nullptr)
            model.faults().fail (failing);
        replies.packets.clear();
        log.lines.clear();
        model.journal().clear();
        spot();
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        run ({}, c.failing);
        std::vector<std::string> expected;
        for (const auto& entry : model.journal().entries())
            if (std::find (c.leftOut.begin(), c.leftOut.end(), entry.function) == c.leftOut.end())
                expected.push_back (entry.toString());
        const auto expectedReply = toHex (replies.packets.at (0));
        const auto expectedLog = log.lines;

        run (c.withheld, c.failing);

        EXPECT_EQ (model.journal().lines(), expected);
        EXPECT_EQ (toHex (replies.packets.at (0)), expectedReply);
        EXPECT_EQ (log.lines, expectedLog);
        EXPECT_EQ (model.itemCount(), c.itemsAfter);
        EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + (c.failing == nullptr ? 1 : 0));
    }
}
