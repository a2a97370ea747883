#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AudioFileWriter.h"
#include "HostFunctions.h"
#include "HostModel.h"
#include "JournalFormat.h"
#include "TempDirectory.h"

using namespace reaper_host;

namespace
{
class HostModelJournal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        model.echoMessageBoxes = false;
    }

    HostModel& model = HostModel::current();
};
} // namespace

TEST_F (HostModelJournal, RecordsEveryCallWithStableHandleNamesInOrder)
{
    testing_support::TempDirectory temp;
    const auto path = temp.path ("door \"slam\".wav");
    ASSERT_TRUE (writeAudioFile (path, AudioFileFormat::wav16, 48000, 1, 48000 * 5));
    model.addTrack();
    model.setCursor (10);
    model.setTimeSelection (8, 12);

    PCM_source* source = api::PCM_Source_CreateFromFile (path.c_str());
    api::GetCursorPosition();
    api::GetSelectedTrack (nullptr, 0);
    api::CountTracks (nullptr);
    MediaItem* item = api::AddMediaItemToTrack (api::GetTrack (nullptr, 0));
    MediaItem_Take* take = api::AddTakeToMediaItem (item);
    bool qn = true;
    api::GetMediaSourceLength (source, &qn);
    api::SetMediaItemTakeInfo_Value (take, "D_STARTOFFS", 0.1f);
    double start = 0, end = 0;
    api::GetSet_LoopTimeRange2 (nullptr, false, false, &start, &end, false);
    char name[] = "Door";
    api::GetSetMediaItemTakeInfo (take, "P_NAME", name);
    api::GetSetMediaItemTakeInfo_String (take, "P_NAME", name, true);
    api::SetMediaItemLength (item, 2, true);
    api::SetMediaItemTake_Source (take, source);
    api::Main_OnCommand (40047, 0);
    api::SetEditCurPos (12, true, false);

    const std::vector<std::string> expected = {
        "PCM_Source_CreateFromFile(" + journal_format::quoted (path.c_str()) + ") -> source1",
        "GetCursorPosition() -> 10",
        "GetSelectedTrack(null, 0) -> null",
        "CountTracks(null) -> 1",
        "GetTrack(null, 0) -> track1",
        "AddMediaItemToTrack(track1) -> item1",
        "AddTakeToMediaItem(item1) -> take1",
        "GetMediaSourceLength(source1, out) -> 5",
        "SetMediaItemTakeInfo_Value(take1, \"D_STARTOFFS\", 0.10000000149011612) -> true",
        "GetSet_LoopTimeRange2(null, false, false, out, out, false) -> start=8, end=12",
        "GetSetMediaItemTakeInfo(take1, \"P_NAME\", \"Door\") -> \"Door\"",
        "GetSetMediaItemTakeInfo_String(take1, \"P_NAME\", \"Door\", true) -> true",
        "SetMediaItemLength(item1, 2, true) -> true",
        "SetMediaItemTake_Source(take1, source1) -> true",
        "Main_OnCommand(40047, 0)",
        "SetEditCurPos(12, true, false)",
    };

    EXPECT_EQ (model.journal().lines(), expected);
    EXPECT_EQ (model.journal().countOf ("GetTrack"), 1);
    EXPECT_EQ (model.journal().callsTo ("SetMediaItemLength").front().arguments[1], "2");
}

TEST_F (HostModelJournal, MarksInjectedFailuresAndCallsOffTheMainThread)
{
    model.addTrack();
    model.faults().fail ("GetTrack", 1);
    api::GetTrack (nullptr, 0);

    std::thread other ([]
                       { api::CountTracks (nullptr); });
    other.join();

    const auto lines = model.journal().lines();
    ASSERT_EQ (lines.size(), 2u);
    EXPECT_EQ (lines[0], "GetTrack(null, 0) -> null [injected failure]");
    EXPECT_EQ (lines[1], "CountTracks(null) -> 1 [off main thread]");
    EXPECT_EQ (model.journal().offMainThreadCount(), 1);
}

// A long session with 64 KiB paths keeps the latest calls within the bounds, a text argument
// (and a Media Explorer file) cut to its first 4,096 bytes, and counts every call.
TEST_F (HostModelJournal, KeepsTheLatestCallsWithinItsBoundsAndCountsThemAll)
{
    const std::string path (65536, 'p');
    const auto calls = CallJournal::kKeptCalls + 2000;

    for (std::size_t i = 0; i < calls; ++i)
        api::PCM_Source_CreateFromFile ((i % 2 == 0 ? path : std::to_string (i)).c_str());

    const auto& journal = model.journal();
    std::size_t kept = 0;
    for (const auto& entry : journal.entries())
        kept += entry.arguments.at (0).size();

    EXPECT_LE (kept, CallJournal::kKeptBytes);
    EXPECT_LE (journal.entries().size(), CallJournal::kKeptCalls);
    EXPECT_EQ (journal.droppedCount() + journal.entries().size(), calls);
    EXPECT_EQ (journal.countOf ("PCM_Source_CreateFromFile"), (int) calls);
    EXPECT_EQ (journal.lines().back(), "PCM_Source_CreateFromFile(\"" + std::to_string (calls - 1) + "\") -> null");
    EXPECT_EQ (journal.entries().end()[-2].arguments[0], "\"" + path.substr (0, 4096) + "...\" (61440 bytes more)");

    api::OpenMediaExplorer (path.c_str(), true);
    EXPECT_EQ (model.project().explorerRequests.at (0).file, path.substr (0, 4096));
}

TEST (JournalFormat, NumbersRoundTripAndStringsAreEscaped)
{
    struct Case
    {
        double value;
        const char* text;
    };

    for (const auto& c : {Case{2.5, "2.5"}, Case{0, "0"}, Case{-0.25, "-0.25"}, Case{1e-7, "1e-07"}, Case{10, "10"},
                          Case{(double) (0.3f - 0.1f), "0.20000001788139343"}, Case{1234567.0, "1234567"}})
        EXPECT_EQ (journal_format::number (c.value), c.text);

    EXPECT_EQ (journal_format::quoted ("a\"b\\c\td"), "\"a\\\"b\\\\c\\x09d\"");
    EXPECT_EQ (journal_format::quoted (nullptr), "null");
    EXPECT_EQ (journal_format::quoted ("caf\xc3\xa9"), "\"caf\xc3\xa9\"");
}
