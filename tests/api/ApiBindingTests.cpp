#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/ApiBinding.h"
#include "api/ReaperApi.h"

namespace
{
std::vector<std::string> lookups;
std::set<std::string> withheld;

void dummyFunction()
{
}

void* fakeGetFunc (const char* name)
{
    lookups.emplace_back (name);
    return withheld.count (name) != 0 ? nullptr : reinterpret_cast<void*> (&dummyFunction);
}
} // namespace

TEST (ApiBinding, LooksUpEveryNameInOrderAndCountsMisses)
{
    const std::vector<std::string> expected = {
        "AddMediaItemToTrack", "AddTakeToMediaItem", "CountSelectedMediaItems", "CountTracks", "EnumProjects",
        "GetCursorPosition", "GetMediaItemInfo_Value", "GetMediaItemTake", "GetMediaItemTake_Source",
        "GetMediaItemTakeInfo_Value", "GetMediaSourceLength", "GetMediaSourceSampleRate", "GetProjectPath",
        "GetSelectedMediaItem", "GetSelectedTrack", "GetSet_LoopTimeRange", "GetSet_LoopTimeRange2",
        "GetSetMediaItemInfo", "GetSetMediaItemTakeInfo", "GetSetMediaItemTakeInfo_String", "GetTrack",
        "GetTrackMediaItem", "InsertMedia", "Main_OnCommand", "OpenMediaExplorer", "PCM_Source_CreateFromFile",
        "SetEditCurPos", "SetMediaItemInfo_Value", "SetMediaItemLength", "SetMediaItemPosition",
        "SetMediaItemTake_Source", "SetMediaItemTakeInfo_Value", "UpdateArrange", "UpdateItemInProject",
        "UpdateTimeline"};

    lookups.clear();
    withheld = {"AddMediaItemToTrack", "UpdateTimeline"};
    EXPECT_EQ (bindHostApi (&fakeGetFunc), 2);
    EXPECT_EQ (lookups, expected);
    EXPECT_EQ (reaper::AddMediaItemToTrack, nullptr);
    EXPECT_NE (reaper::InsertMedia, nullptr);

    lookups.clear();
    withheld.clear();
    EXPECT_EQ (bindHostApi (&fakeGetFunc), 0);
    EXPECT_NE (reaper::AddMediaItemToTrack, nullptr);
    EXPECT_NE (reaper::UpdateTimeline, nullptr);
    ASSERT_EQ (hostApiEntryCount(), 35);
    EXPECT_STREQ (hostApiEntryName (34), "UpdateTimeline");
    EXPECT_EQ (hostApiEntryName (35), nullptr);
}

TEST (ApiBinding, OptionalFunctionsAreBoundApartAndMayBeMissing)
{
    lookups.clear();
    withheld = {"PreventUIRefresh"};
    EXPECT_EQ (bindOptionalHostApi (&fakeGetFunc), 1);
    EXPECT_EQ (lookups, (std::vector<std::string>{"Undo_BeginBlock2", "Undo_EndBlock2", "PreventUIRefresh", "DeleteTrackMediaItem"}));
    EXPECT_NE (reaper::Undo_BeginBlock2, nullptr);
    EXPECT_EQ (reaper::PreventUIRefresh, nullptr);

    // Binding again stores what the host answers now, so a pointer never outlives it.
    withheld = {"Undo_BeginBlock2"};
    EXPECT_EQ (bindOptionalHostApi (&fakeGetFunc), 1);
    EXPECT_EQ (reaper::Undo_BeginBlock2, nullptr);
    EXPECT_NE (reaper::PreventUIRefresh, nullptr);
    withheld.clear();
}
