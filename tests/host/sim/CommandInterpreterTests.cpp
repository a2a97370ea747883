#include <sstream>

#include <gtest/gtest.h>

#include "AudioFileWriter.h"
#include "CommandInterpreter.h"
#include "MediaSource.h"
#include "TempDirectory.h"

using namespace reaper_host;

namespace
{
class CommandInterpreterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        model.timers().clear();
    }

    void TearDown() override
    {
        model.reset();
    }

    CommandOutcome run (const std::string& line)
    {
        return interpreter.execute (line);
    }

    HostModel& model = HostModel::current();
    std::ostringstream out;
    SimSession session{model, std::chrono::milliseconds (1), kReaperPluginVersion, out};
    CommandInterpreter interpreter{session, out, 64};
};

int ticks = 0;

void countTick()
{
    ++ticks;
}
} // namespace

TEST_F (CommandInterpreterTest, CommandsSetUpTheProject)
{
    testing_support::TempDirectory temp;
    const auto file = temp.path ("door.wav");
    ASSERT_TRUE (writeAudioFile (file, AudioFileFormat::wav16, 48000, 1, 96000));

    for (const std::string& line : std::vector<std::string>{"add-track Dialogue", "tracks 3", "select-tracks 3 1", "cursor 10", "time-selection 8 12",
                                                            "project-path \"/home/me/My Film\"", "add-item 2 4 1.5", "add-item 2 1 2 " + file,
                                                            "select-item 2 1", "fail GetTrack 2"})
        EXPECT_EQ (run (line).kind, CommandOutcome::Kind::done) << line;

    auto& project = model.project();
    ASSERT_EQ (project.tracks.size(), 3u);
    EXPECT_EQ (project.tracks[0]->name, "Dialogue");
    EXPECT_TRUE (project.tracks[0]->selected);
    EXPECT_FALSE (project.tracks[1]->selected);
    EXPECT_TRUE (project.tracks[2]->selected);
    EXPECT_EQ (project.cursor, 10);
    EXPECT_EQ (project.timeSelection.end, 12);
    EXPECT_EQ (project.projectPath, "/home/me/My Film");

    // select-item counts in timeline order: the item at 1 s comes first.
    const auto selected = model.selectedItems();
    ASSERT_EQ (selected.size(), 1u);
    EXPECT_EQ (selected[0]->position, 1);
    EXPECT_EQ (selected[0]->takes[0]->name, "door.wav");
    EXPECT_EQ (selected[0]->takes[0]->source->GetLength(), 2.0);
    EXPECT_TRUE (model.faults().isArmed ("GetTrack"));
}

TEST_F (CommandInterpreterTest, BadCommandsFailWithAReasonAndChangeNothing)
{
    run ("add-track");

    const char* bad[] = {
        "frobnicate",
        "cursor",
        "cursor -1",
        "cursor ten",
        "time-selection 5 2",
        "select-tracks 2",
        "select-tracks 0",
        "add-item 1 0",
        "add-item 9 0 1",
        "add-item 1 0 -1",
        "select-item 1 1",
        "tracks -2",
        "wait",
        "wait-items 1",
        "echo \"unclosed",
        "load /nonexistent/reaper_x.so",
    };

    for (const char* line : bad)
    {
        const auto outcome = run (line);
        EXPECT_EQ (outcome.kind, CommandOutcome::Kind::failed) << line;
        EXPECT_FALSE (outcome.error.empty()) << line;
    }

    EXPECT_EQ (model.project().tracks.size(), 1u);
    EXPECT_EQ (model.project().cursor, 0);
    EXPECT_EQ (model.itemCount(), 0);
    EXPECT_EQ (run ("quit").kind, CommandOutcome::Kind::quit);
}

TEST_F (CommandInterpreterTest, WaitsKeepTheTimersRunning)
{
    model.timers().add (&countTick);
    ticks = 0;

    EXPECT_EQ (run ("tick 3").kind, CommandOutcome::Kind::done);
    EXPECT_EQ (ticks, 3);

    // 200 periods of 1 ms: more than 10 rounds even on a machine busy enough to skip most.
    EXPECT_EQ (run ("wait 200").kind, CommandOutcome::Kind::done);
    EXPECT_GT (ticks, 10);

    const auto timedOut = run ("wait-items 1 20");
    EXPECT_EQ (timedOut.kind, CommandOutcome::Kind::failed);
    EXPECT_NE (timedOut.error.find ("waiting for 1 items (have 0)"), std::string::npos) << timedOut.error;

    run ("add-track");
    run ("add-item 1 0 1");
    EXPECT_EQ (run ("wait-items 1 1000").kind, CommandOutcome::Kind::done);

    EXPECT_EQ (run ("wait-calls CountTracks 1 20").kind, CommandOutcome::Kind::failed);
    reinterpret_cast<int (*) (ReaProject*)> (model.pluginInfo()->GetFunc ("CountTracks")) (nullptr);
    EXPECT_EQ (run ("wait-calls CountTracks 1 1000").kind, CommandOutcome::Kind::done);
    model.timers().clear();
}

TEST_F (CommandInterpreterTest, JournalListsTheLastCalls)
{
    run ("add-track");
    auto countTracks = reinterpret_cast<int (*) (ReaProject*)> (model.pluginInfo()->GetFunc ("CountTracks"));
    countTracks (nullptr);
    countTracks (nullptr);

    out.str ("");
    run ("journal 1");
    EXPECT_EQ (out.str(), "2: CountTracks(null) -> 1\n");
}

TEST_F (CommandInterpreterTest, UndoRedoAndHistoryWalkTheUndoPoints)
{
    run ("add-track");
    out.str ("");
    run ("history");
    EXPECT_EQ (out.str(), "no undo points\n");
    EXPECT_EQ (run ("undo").error, "nothing to undo");
    EXPECT_EQ (run ("redo").error, "nothing to redo");

    for (const char* name : {"Spot: door", "Spot: birds"})
    {
        model.undoHistory().beginBlock();
        model.addItem (*model.track (0), model.itemCount(), 1);
        model.undoHistory().endBlock (model.project(), name, 4);
    }

    out.str ("");
    EXPECT_EQ (run ("undo").kind, CommandOutcome::Kind::done);
    EXPECT_EQ (model.itemCount(), 1);
    run ("history");
    EXPECT_EQ (out.str(), "undone: Spot: birds\n1: Spot: door\n2: Spot: birds (undone)\n");

    out.str ("");
    EXPECT_EQ (run ("redo").kind, CommandOutcome::Kind::done);
    EXPECT_EQ (out.str(), "redone: Spot: birds\n");
    EXPECT_EQ (model.itemCount(), 2);
    EXPECT_EQ (run ("undo 2").kind, CommandOutcome::Kind::failed);
}
