#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "HostFunctions.h"
#include "HostModel.h"

using namespace reaper_host;

namespace
{
class HostModelProject : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
    }

    HostModel& model = HostModel::current();
};
} // namespace

TEST_F (HostModelProject, ProjectWithoutTracksOffersNothingToPlaceOn)
{
    EXPECT_EQ (api::CountTracks (nullptr), 0);
    EXPECT_EQ (api::GetTrack (nullptr, 0), nullptr);
    EXPECT_EQ (api::GetSelectedTrack (nullptr, 0), nullptr);
    EXPECT_EQ (api::CountSelectedMediaItems (nullptr), 0);
    EXPECT_EQ (api::GetSelectedMediaItem (nullptr, 0), nullptr);
    EXPECT_EQ (api::AddMediaItemToTrack (nullptr), nullptr);
    EXPECT_EQ (model.itemCount(), 0);
}

TEST_F (HostModelProject, TracksAreFoundByIndexAndSelectionInTrackOrder)
{
    for (int i = 0; i < 4; ++i)
        model.addTrack ("T" + std::to_string (i));

    // Selection order is the tracks' order, not the order they were selected in.
    model.selectTracks ({3, 1});

    EXPECT_EQ (api::CountTracks (nullptr), 4);
    EXPECT_EQ (api::GetTrack (nullptr, 2), model.track (2)->handle());
    EXPECT_EQ (api::GetTrack (nullptr, 4), nullptr);
    EXPECT_EQ (api::GetTrack (nullptr, -1), nullptr);
    EXPECT_EQ (api::GetSelectedTrack (nullptr, 0), model.track (1)->handle());
    EXPECT_EQ (api::GetSelectedTrack (nullptr, 1), model.track (3)->handle());
    EXPECT_EQ (api::GetSelectedTrack (nullptr, 2), nullptr);

    // The project's own handle means the current project too; a foreign one does not.
    ReaProject* own = api::EnumProjects (-1, nullptr, 0);
    ASSERT_NE (own, nullptr);
    EXPECT_EQ (api::CountTracks (own), 4);
    int other = 0;
    EXPECT_EQ (api::CountTracks (reinterpret_cast<ReaProject*> (&other)), 0);
    EXPECT_EQ (api::EnumProjects (1, nullptr, 0), nullptr);
}

TEST_F (HostModelProject, SelectedItemsAreEnumeratedByTrackThenPosition)
{
    auto& first = model.addTrack();
    auto& second = model.addTrack();
    auto& late = model.addItem (first, 20, 1);
    auto& early = model.addItem (first, 5, 1);
    auto& onSecond = model.addItem (second, 0, 1);
    auto& unselected = model.addItem (first, 1, 1);

    for (auto* item : {&late, &early, &onSecond})
        model.selectItem (*item);

    EXPECT_EQ (api::CountSelectedMediaItems (nullptr), 3);
    EXPECT_EQ (api::GetSelectedMediaItem (nullptr, 0), early.handle());
    EXPECT_EQ (api::GetSelectedMediaItem (nullptr, 1), late.handle());
    EXPECT_EQ (api::GetSelectedMediaItem (nullptr, 2), onSecond.handle());
    EXPECT_EQ (api::GetSelectedMediaItem (nullptr, 3), nullptr);
    EXPECT_EQ (api::GetTrackMediaItem (first.handle(), 0), unselected.handle());
    EXPECT_EQ (api::GetTrackMediaItem (first.handle(), 3), nullptr);
}

TEST_F (HostModelProject, EditCursorMovesAndNeverGoesBeforeTheStart)
{
    model.setCursor (10);
    EXPECT_EQ (api::GetCursorPosition(), 10);

    api::SetEditCurPos (12.5, true, false);
    EXPECT_EQ (api::GetCursorPosition(), 12.5);

    api::SetEditCurPos (-3, true, false);
    EXPECT_EQ (api::GetCursorPosition(), 0);

    api::SetEditCurPos (std::numeric_limits<double>::quiet_NaN(), true, false);
    EXPECT_EQ (api::GetCursorPosition(), 0);
}

TEST_F (HostModelProject, TimeSelectionAndLoopPointsAreSeparateRanges)
{
    model.setTimeSelection (8, 12);
    double start = -1, end = -1;
    api::GetSet_LoopTimeRange2 (nullptr, false, false, &start, &end, false);
    EXPECT_EQ (start, 8);
    EXPECT_EQ (end, 12);

    api::GetSet_LoopTimeRange2 (nullptr, false, true, &start, &end, false);
    EXPECT_EQ (start, 0);
    EXPECT_EQ (end, 0);

    // Setting orders the bounds, as the host's own range never runs backwards.
    double newStart = 30, newEnd = 20;
    api::GetSet_LoopTimeRange (true, true, &newStart, &newEnd, false);
    EXPECT_EQ (model.project().loopPoints.start, 20);
    EXPECT_EQ (model.project().loopPoints.end, 30);
    EXPECT_EQ (model.project().timeSelection.start, 8);
}

TEST_F (HostModelProject, ProjectPathIsCopiedTruncatedAndTerminated)
{
    model.setProjectPath ("/home/me/Projects/Film");

    struct Case
    {
        int size;
        const char* expected;
    };

    for (const auto& c : {Case{4096, "/home/me/Projects/Film"}, Case{6, "/home"}, Case{1, ""}})
    {
        char buffer[4096];
        std::memset (buffer, 'x', sizeof (buffer));
        api::GetProjectPath (buffer, c.size);
        EXPECT_STREQ (buffer, c.expected) << "size " << c.size;
    }

    char untouched[4] = {'a', 'b', 'c', 0};
    api::GetProjectPath (untouched, 0);
    EXPECT_STREQ (untouched, "abc");
}

TEST_F (HostModelProject, ActionsExplorerRequestsAndRedrawsAreRecorded)
{
    api::Main_OnCommand (40047, 0);
    EXPECT_NE (api::OpenMediaExplorer ("/s/door.wav", true), nullptr);
    api::UpdateTimeline();
    api::UpdateTimeline();
    api::UpdateArrange();

    const auto& project = model.project();
    ASSERT_EQ (project.actions.size(), 1u);
    EXPECT_EQ (project.actions[0].command, 40047);
    ASSERT_EQ (project.explorerRequests.size(), 1u);
    EXPECT_EQ (project.explorerRequests[0].file, "/s/door.wav");
    EXPECT_TRUE (project.explorerRequests[0].play);
    EXPECT_EQ (project.timelineRedraws, 2);
    EXPECT_EQ (project.arrangeRedraws, 1);
}

TEST_F (HostModelProject, ResetEmptiesTheProjectAndRestartsLabels)
{
    auto& track = model.addTrack();
    model.addItem (track, 1, 1);
    model.setCursor (5);
    api::Main_OnCommand (1, 0);
    model.faults().fail ("GetTrack");

    model.reset();

    EXPECT_TRUE (model.project().tracks.empty());
    EXPECT_EQ (model.project().cursor, 0);
    EXPECT_TRUE (model.project().actions.empty());
    EXPECT_TRUE (model.journal().entries().empty());
    EXPECT_EQ (model.addTrack().label, "track1");
    EXPECT_NE (api::GetTrack (nullptr, 0), nullptr);
}
