#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostFunctions.h"
#include "HostModel.h"
#include "MediaSource.h"

using namespace reaper_host;

namespace
{
class HostModelUndo : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        track = model.addTrack().handle();
        other = model.addTrack().handle();
    }

    void TearDown() override
    {
        model.reset();
    }

    // One undo point adding an item with a take and a source, as a spot does.
    void addItemAsOnePoint (double position, const std::string& name)
    {
        api::Undo_BeginBlock2 (nullptr);
        MediaItem* item = api::AddMediaItemToTrack (track);
        MediaItem_Take* take = api::AddTakeToMediaItem (item);
        api::SetMediaItemPosition (item, position, true);
        api::SetMediaItemLength (item, 1.5, true);
        api::SetMediaItemTakeInfo_Value (take, "D_VOL", 0.5);
        api::SetMediaItemTake_Source (take, MediaSource::synthetic ("/s/door.wav", 48000, 2, 72000).release());
        api::Undo_EndBlock2 (nullptr, ("Spot: " + name).c_str(), 4);
    }

    std::vector<double> positions()
    {
        std::vector<double> result;

        for (auto* item : model.allItems())
            result.push_back (item->position);

        return result;
    }

    std::vector<std::string> descriptions()
    {
        std::vector<std::string> result;

        for (const auto& point : model.undoHistory().points())
            result.push_back (point.description);

        return result;
    }

    HostModel& model = HostModel::current();
    MediaTrack* track = nullptr;
    MediaTrack* other = nullptr;
    const int sourcesBefore = MediaSource::liveCount();
};
} // namespace

TEST_F (HostModelUndo, EachEndedBlockIsOnePointThatUndoAndRedoWalk)
{
    model.addItem (*model.track (1), 7, 1); // there before any point: undo never takes it
    addItemAsOnePoint (1, "one");
    addItemAsOnePoint (3, "two");
    addItemAsOnePoint (5, "three");

    EXPECT_EQ (descriptions(), (std::vector<std::string>{"Spot: one", "Spot: two", "Spot: three"}));
    EXPECT_EQ (model.undoHistory().points().at (0).flags, 4);
    EXPECT_EQ (model.undoHistory().pointsInEffect(), 3u);

    ASSERT_TRUE (model.undo());
    EXPECT_EQ (positions(), (std::vector<double>{1, 3, 7}));
    ASSERT_TRUE (model.undo());
    ASSERT_TRUE (model.undo());
    EXPECT_EQ (positions(), (std::vector<double>{7}));
    EXPECT_FALSE (model.undo()) << "nothing left to undo";
    EXPECT_EQ (model.undoHistory().pointsInEffect(), 0u);
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore);

    ASSERT_TRUE (model.redo());
    ASSERT_TRUE (model.redo());
    EXPECT_EQ (positions(), (std::vector<double>{1, 3, 7}));

    // A new point after an undo drops the points that could have been redone.
    addItemAsOnePoint (9, "four");
    EXPECT_EQ (descriptions(), (std::vector<std::string>{"Spot: one", "Spot: two", "Spot: four"}));
    EXPECT_FALSE (model.redo());
    EXPECT_EQ (positions(), (std::vector<double>{1, 3, 9, 7}));
}

TEST_F (HostModelUndo, RestoredItemsAreNewObjectsWithTheSameLabelsPropertiesAndSources)
{
    addItemAsOnePoint (2, "door");
    MediaItem* before = model.allItems().at (0)->handle();

    ASSERT_TRUE (model.undo());
    EXPECT_EQ (model.findItem (before), nullptr) << "an undone item's handle is gone";
    ASSERT_TRUE (model.redo());

    auto* item = model.allItems().at (0);
    EXPECT_EQ (item->label, "item1");
    EXPECT_EQ (item->track, model.track (0));
    EXPECT_EQ (item->position, 2);
    EXPECT_EQ (item->length, 1.5);
    ASSERT_EQ (item->takes.size(), 1u);
    auto& take = *item->takes[0];
    EXPECT_EQ (take.label, "take1");
    EXPECT_EQ (take.item, item);
    EXPECT_EQ (take.volume, 0.5);
    EXPECT_EQ (model.findTake (take.handle()), &take);
    ASSERT_NE (take.source, nullptr);
    EXPECT_STREQ (take.source->GetFileName(), "/s/door.wav");
    EXPECT_EQ (take.source->GetLength(), 1.5);
    EXPECT_EQ (take.source->GetNumChannels(), 2);
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + 1) << "the history keeps no live sources";
}

TEST_F (HostModelUndo, ChangedAndRemovedItemsComeBackAndSetupOutsideBlocksStays)
{
    addItemAsOnePoint (1, "one");
    addItemAsOnePoint (3, "two");
    auto& setUp = model.addItem (*model.track (0), 8, 1); // outside any block
    const auto kept = model.allItems();

    api::Undo_BeginBlock2 (nullptr);
    api::SetMediaItemPosition (kept[0]->handle(), 4, true);
    api::DeleteTrackMediaItem (track, kept[1]->handle());
    api::Undo_EndBlock2 (nullptr, "move and delete", 4);
    EXPECT_EQ (positions(), (std::vector<double>{4, 8}));
    EXPECT_EQ (setUp.label, "item3");

    ASSERT_TRUE (model.undo());
    EXPECT_EQ (positions(), (std::vector<double>{1, 3, 8}));
    const auto* restored = model.allItems()[1];
    EXPECT_EQ (restored->label, "item2");
    ASSERT_EQ (restored->takes.size(), 1u);
    EXPECT_EQ (restored->takes[0]->volume, 0.5);
    ASSERT_NE (restored->takes[0]->source, nullptr);
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + 2);

    ASSERT_TRUE (model.redo());
    EXPECT_EQ (positions(), (std::vector<double>{4, 8}));
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore + 1);

    ASSERT_TRUE (model.undo());
    ASSERT_TRUE (model.undo());
    ASSERT_TRUE (model.undo());
    EXPECT_EQ (positions(), (std::vector<double>{8})) << "the item set up outside a block stays";
}

TEST_F (HostModelUndo, BlocksNestAndStrayCallsChangeNothing)
{
    api::Undo_BeginBlock2 (nullptr);
    api::Undo_BeginBlock2 (model.projectHandle());
    api::AddMediaItemToTrack (track);
    api::Undo_EndBlock2 (nullptr, "inner", 4);
    EXPECT_TRUE (descriptions().empty()) << "only the outermost block makes a point";
    EXPECT_FALSE (model.undo()) << "no undo while a block is open";
    api::Undo_EndBlock2 (nullptr, "outer", 4);
    EXPECT_EQ (descriptions(), (std::vector<std::string>{"outer"}));

    api::Undo_EndBlock2 (nullptr, "stray end", 4);
    api::Undo_BeginBlock2 (reinterpret_cast<ReaProject*> (track)); // not a project
    EXPECT_EQ (descriptions(), (std::vector<std::string>{"outer"}));
    EXPECT_EQ (model.undoHistory().openBlocks(), 0);
    EXPECT_EQ (model.invalidHandleCalls, 1);

    model.reset();
    EXPECT_TRUE (model.undoHistory().points().empty());
}

TEST_F (HostModelUndo, DeleteTrackMediaItemRemovesAnItemFromItsOwnTrackOnly)
{
    MediaItem* kept = api::AddMediaItemToTrack (track);
    MediaItem* item = api::AddMediaItemToTrack (track);
    api::SetMediaItemTake_Source (api::AddTakeToMediaItem (item), MediaSource::synthetic ("/s/a.wav", 8000, 1, 8000).release());
    ASSERT_EQ (MediaSource::liveCount(), sourcesBefore + 1);

    EXPECT_FALSE (api::DeleteTrackMediaItem (other, item)) << "not on that track";
    model.faults().fail ("DeleteTrackMediaItem", 1);
    EXPECT_FALSE (api::DeleteTrackMediaItem (track, item));
    EXPECT_EQ (model.itemCount(), 2);

    EXPECT_TRUE (api::DeleteTrackMediaItem (track, item));
    EXPECT_EQ (model.itemCount(), 1);
    EXPECT_NE (model.findItem (kept), nullptr);
    EXPECT_EQ (MediaSource::liveCount(), sourcesBefore) << "its take's source goes with it";
    EXPECT_FALSE (api::DeleteTrackMediaItem (track, item)) << "already gone";
    EXPECT_EQ (model.invalidHandleCalls, 1);
}

TEST_F (HostModelUndo, JournalRecordsTheCallsAndRefreshPreventionIsCounted)
{
    api::Undo_BeginBlock2 (nullptr);
    api::PreventUIRefresh (1);
    MediaItem* item = api::AddMediaItemToTrack (track);
    EXPECT_EQ (model.project().refreshPrevention, 1);
    api::DeleteTrackMediaItem (track, item);
    api::PreventUIRefresh (-1);
    api::Undo_EndBlock2 (nullptr, "Spot: \"door\"", 4);

    EXPECT_EQ (model.project().refreshPrevention, 0);
    EXPECT_EQ (model.journal().lines(),
               (std::vector<std::string>{"Undo_BeginBlock2(null)", "PreventUIRefresh(1)", "AddMediaItemToTrack(track1) -> item1",
                                         "DeleteTrackMediaItem(track1, item1) -> true", "PreventUIRefresh(-1)",
                                         "Undo_EndBlock2(null, \"Spot: \\\"door\\\"\", 4)"}));
}
