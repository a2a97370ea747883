#include <gtest/gtest.h>

#include "FunctionTable.h"
#include "HostModel.h"
#include "api/ApiBinding.h"
#include "api/ReaperApi.h"

using namespace reaper_host;

// The extension's own binding finds all of its functions in the stand-in host, and the
// bound pointers act on the model.
TEST (HostBinding, ExtensionBindsEveryFunctionAndCallsReachTheModel)
{
    auto& model = HostModel::current();
    model.reset();

    ASSERT_EQ (bindHostApi (model.pluginInfo()->GetFunc), 0);
    EXPECT_EQ (model.lookups().size(), 35u);

    model.addTrack();
    MediaItem* item = reaper::AddMediaItemToTrack (reaper::GetTrack (nullptr, 0));
    ASSERT_NE (item, nullptr);
    EXPECT_TRUE (reaper::SetMediaItemLength (item, 2, true));
    EXPECT_EQ (model.allItems().front()->length, 2);
    EXPECT_EQ (model.journal().lines().back(), "SetMediaItemLength(item1, 2, true) -> true");

    model.reset();
    model.withhold ("InsertMedia");
    model.withhold ("UpdateTimeline");
    EXPECT_EQ (bindHostApi (model.pluginInfo()->GetFunc), 2);
    EXPECT_EQ (reaper::InsertMedia, nullptr);
}
