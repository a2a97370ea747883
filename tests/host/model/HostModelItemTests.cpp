#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "HostFunctions.h"
#include "HostModel.h"
#include "MediaSource.h"

using namespace reaper_host;

namespace
{
class HostModelItems : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        track = model.addTrack().handle();
    }

    HostModel& model = HostModel::current();
    MediaTrack* track = nullptr;
};
} // namespace

TEST_F (HostModelItems, NewItemStartsEmptyOnItsTrackWithLoopingOn)
{
    MediaItem* handle = api::AddMediaItemToTrack (track);
    ASSERT_NE (handle, nullptr);

    auto* item = model.findItem (handle);
    ASSERT_NE (item, nullptr);
    EXPECT_EQ (item->track, model.track (0));
    EXPECT_TRUE (item->takes.empty());
    EXPECT_EQ (api::GetMediaItemTake (handle, 0), nullptr);
    EXPECT_EQ (api::GetMediaItemInfo_Value (handle, "D_POSITION"), 0);
    EXPECT_EQ (api::GetMediaItemInfo_Value (handle, "D_LENGTH"), 0);
    EXPECT_EQ (api::GetMediaItemInfo_Value (handle, "B_LOOPSRC"), 1);
    EXPECT_EQ (api::GetMediaItemInfo_Value (handle, "B_UISEL"), 0);
}

TEST_F (HostModelItems, ItemPropertiesAreSetByKeyAndUnknownKeysRefused)
{
    MediaItem* item = api::AddMediaItemToTrack (track);

    EXPECT_TRUE (api::SetMediaItemInfo_Value (item, "B_LOOPSRC", 0.0));
    EXPECT_TRUE (api::SetMediaItemLength (item, 2.5, true));
    EXPECT_TRUE (api::SetMediaItemPosition (item, 10, true));
    EXPECT_FALSE (api::SetMediaItemInfo_Value (item, "X_NOTAKEY", 1.0));

    EXPECT_EQ (api::GetMediaItemInfo_Value (item, "B_LOOPSRC"), 0);
    EXPECT_EQ (api::GetMediaItemInfo_Value (item, "D_LENGTH"), 2.5);
    EXPECT_EQ (api::GetMediaItemInfo_Value (item, "D_POSITION"), 10);

    // The pointer form reads and writes the same fields.
    double length = 4;
    api::GetSetMediaItemInfo (item, "D_LENGTH", &length);
    EXPECT_EQ (*static_cast<double*> (api::GetSetMediaItemInfo (item, "D_LENGTH", nullptr)), 4);
    EXPECT_EQ (api::GetSetMediaItemInfo (item, "P_TRACK", nullptr), static_cast<void*> (track));
}

TEST_F (HostModelItems, LengthAndPositionThatAreNotTimesAreRefused)
{
    MediaItem* item = api::AddMediaItemToTrack (track);
    ASSERT_TRUE (api::SetMediaItemLength (item, 3, true));
    ASSERT_TRUE (api::SetMediaItemPosition (item, 1, true));

    for (double bad : {-0.5, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE (api::SetMediaItemLength (item, bad, true)) << bad;

    EXPECT_FALSE (api::SetMediaItemPosition (item, std::numeric_limits<double>::quiet_NaN(), true));
    EXPECT_TRUE (api::SetMediaItemLength (item, 0, true));
    EXPECT_EQ (model.findItem (item)->position, 1);
}

TEST_F (HostModelItems, TakePropertiesAndNameThroughEveryForm)
{
    MediaItem* item = api::AddMediaItemToTrack (track);
    MediaItem_Take* take = api::AddTakeToMediaItem (item);
    ASSERT_NE (take, nullptr);
    EXPECT_EQ (api::GetMediaItemTake (item, 0), take);
    EXPECT_EQ (api::GetMediaItemTake (item, 1), nullptr);

    EXPECT_EQ (api::GetMediaItemTakeInfo_Value (take, "D_PLAYRATE"), 1);
    EXPECT_EQ (api::GetMediaItemTakeInfo_Value (take, "D_VOL"), 1);

    EXPECT_TRUE (api::SetMediaItemTakeInfo_Value (take, "D_STARTOFFS", 1.5));
    EXPECT_TRUE (api::SetMediaItemTakeInfo_Value (take, "D_PLAYRATE", 0.5));
    EXPECT_TRUE (api::SetMediaItemTakeInfo_Value (take, "B_PPITCH", 1.0));
    EXPECT_TRUE (api::SetMediaItemTakeInfo_Value (take, "D_VOL", 0.25));
    EXPECT_FALSE (api::SetMediaItemTakeInfo_Value (take, "P_NAME", 1.0));

    const auto* t = model.findTake (take);
    EXPECT_EQ (t->startOffset, 1.5);
    EXPECT_EQ (t->playRate, 0.5);
    EXPECT_TRUE (t->preservePitch);
    EXPECT_EQ (t->volume, 0.25);
    EXPECT_EQ (api::GetMediaItemTakeInfo_Value (take, "B_PPITCH"), 1);

    char first[] = "Door slam";
    api::GetSetMediaItemTakeInfo (take, "P_NAME", first);
    EXPECT_EQ (t->name, "Door slam");
    EXPECT_STREQ (static_cast<const char*> (api::GetSetMediaItemTakeInfo (take, "P_NAME", nullptr)), "Door slam");

    char second[] = "Zip \xc3\xa9";
    EXPECT_TRUE (api::GetSetMediaItemTakeInfo_String (take, "P_NAME", second, true));
    char read[64] = {};
    EXPECT_TRUE (api::GetSetMediaItemTakeInfo_String (take, "P_NAME", read, false));
    EXPECT_STREQ (read, "Zip \xc3\xa9");

    char empty[] = "";
    EXPECT_TRUE (api::GetSetMediaItemTakeInfo_String (take, "P_NAME", empty, true));
    EXPECT_EQ (t->name, "");
    EXPECT_FALSE (api::GetSetMediaItemTakeInfo_String (take, "GUID", read, false));
}

TEST_F (HostModelItems, FirstTakeIsActiveAndLaterTakesDoNotChangeIt)
{
    MediaItem* item = api::AddMediaItemToTrack (track);
    MediaItem_Take* first = api::AddTakeToMediaItem (item);
    MediaItem_Take* second = api::AddTakeToMediaItem (item);

    EXPECT_EQ (api::GetMediaItemTake (item, 1), second);
    EXPECT_EQ (model.findItem (item)->activeTakeOrNull()->handle(), first);
    EXPECT_TRUE (api::SetMediaItemInfo_Value (item, "I_CURTAKE", 1));
    EXPECT_EQ (model.findItem (item)->activeTakeOrNull()->handle(), second);
}

TEST_F (HostModelItems, UnknownHandlesAreRefusedAndCounted)
{
    int junk = 0;
    auto* badItem = reinterpret_cast<MediaItem*> (&junk);
    auto* badTake = reinterpret_cast<MediaItem_Take*> (&junk);
    auto* badTrack = reinterpret_cast<MediaTrack*> (&junk);

    EXPECT_EQ (api::AddMediaItemToTrack (badTrack), nullptr);
    EXPECT_EQ (api::AddTakeToMediaItem (badItem), nullptr);
    EXPECT_FALSE (api::SetMediaItemLength (badItem, 1, true));
    EXPECT_FALSE (api::SetMediaItemTakeInfo_Value (badTake, "D_VOL", 1));
    EXPECT_EQ (api::GetMediaItemTake_Source (badTake), nullptr);
    EXPECT_EQ (model.invalidHandleCalls, 5);
    EXPECT_EQ (model.itemCount(), 0);
}

TEST_F (HostModelItems, InjectedFailuresReturnTheFailureValueAndChangeNothing)
{
    MediaItem* item = api::AddMediaItemToTrack (track);
    MediaItem_Take* take = api::AddTakeToMediaItem (item);
    auto source = MediaSource::synthetic ("/s/a.wav", 48000, 2, 48000);

    model.faults().fail ("AddMediaItemToTrack", 1);
    model.faults().fail ("AddTakeToMediaItem");
    model.faults().fail ("SetMediaItemLength");
    model.faults().fail ("SetMediaItemPosition");
    model.faults().fail ("SetMediaItemTake_Source");
    model.faults().fail ("GetTrack");
    model.faults().fail ("GetSelectedTrack");

    model.selectTracks ({0});
    EXPECT_EQ (api::AddMediaItemToTrack (track), nullptr);
    EXPECT_EQ (api::AddTakeToMediaItem (item), nullptr);
    EXPECT_FALSE (api::SetMediaItemLength (item, 3, true));
    EXPECT_FALSE (api::SetMediaItemPosition (item, 3, true));
    EXPECT_FALSE (api::SetMediaItemTake_Source (take, source.get()));
    EXPECT_EQ (api::GetTrack (nullptr, 0), nullptr);
    EXPECT_EQ (api::GetSelectedTrack (nullptr, 0), nullptr);

    EXPECT_EQ (model.itemCount(), 1);
    EXPECT_EQ (model.findItem (item)->takes.size(), 1u);
    EXPECT_EQ (model.findItem (item)->length, 0);
    EXPECT_EQ (model.findItem (item)->position, 0);
    EXPECT_EQ (model.findTake (take)->source, nullptr);

    // A failure limited to one call lets the next one through.
    EXPECT_NE (api::AddMediaItemToTrack (track), nullptr);

    // Healing, and a failure on a chosen call number.
    model.faults().heal ("SetMediaItemLength");
    EXPECT_TRUE (api::SetMediaItemLength (item, 3, true));
    model.faults().failOnCall ("GetTrack", 2);
    EXPECT_NE (api::GetTrack (nullptr, 0), nullptr);
    EXPECT_EQ (api::GetTrack (nullptr, 0), nullptr);
    EXPECT_TRUE (model.journal().entries().back().injectedFailure);
    EXPECT_NE (api::GetTrack (nullptr, 0), nullptr);
}
