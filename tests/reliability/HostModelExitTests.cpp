// The stand-in host must end cleanly with sources still in its project: the project is
// destroyed at process exit, and its sources must still find the registry of live sources.

#include <cstdlib>

#include <gtest/gtest.h>

#include "HostModel.h"

TEST (HostModelExitTest, AProcessEndingWithSourcesInTheProjectExitsCleanly)
{
    EXPECT_EXIT (
        {
            auto& model = reaper_host::HostModel::current();
            auto& item = model.addItem (model.addTrack(), 0.0, 1.0);
            model.setTakeSource (model.addTake (item), reaper_host::MediaSource::synthetic ("/a.wav", 48000, 1, 48000));
            std::exit (0);
        },
        testing::ExitedWithCode (0), "");
}
