#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

#include "ExtensionLibrary.h"
#include "MainLoop.h"

using namespace reaper_host;

namespace
{
class ExtensionLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        model.timers().clear();
        model.addTrack();
        unsetenv ("BV_TEST_EXTENSION_MODE");
    }

    void TearDown() override
    {
        unsetenv ("BV_TEST_EXTENSION_MODE");
        model.timers().clear();
    }

    HostModel& model = HostModel::current();
};
} // namespace

TEST_F (ExtensionLibraryTest, LoadsRunsTimersOnTheCallingThreadAndUnloads)
{
    ExtensionLibrary library (model);
    const auto result = library.load (TEST_EXTENSION_PATH);
    ASSERT_TRUE (result.ok()) << result.message;
    EXPECT_EQ (result.entryResult, 1);
    EXPECT_EQ (model.timers().count(), 1);

    MainLoop loop (model.timers(), std::chrono::microseconds (500));

    for (int i = 0; i < 5; ++i)
        loop.tick();

    EXPECT_EQ (model.project().arrangeRedraws, 5);
    EXPECT_EQ (model.journal().callsTo ("UpdateArrange").back().offMainThread, false);

    loop.runFor (std::chrono::milliseconds (20));
    EXPECT_GT (model.project().arrangeRedraws, 10);

    EXPECT_EQ (library.unload(), 0);
    EXPECT_FALSE (library.isLoaded());
    EXPECT_EQ (model.timers().count(), 0);
    EXPECT_EQ (model.journal().lines().back(), "Register(\"-timer\", function) -> 1");

    const int before = model.project().arrangeRedraws;
    loop.tick();
    EXPECT_EQ (model.project().arrangeRedraws, before);
}

TEST_F (ExtensionLibraryTest, LoadFailuresAreValuesWithAClearMessage)
{
    struct Case
    {
        const char* path;
        int version;
        const char* mode;
        LoadStatus status;
        const char* messagePart;
    };

    const Case cases[] = {
        {"/nonexistent/reaper_missing.so", kReaperPluginVersion, "", LoadStatus::cannotOpen, "cannot load /nonexistent/reaper_missing.so"},
        {TEST_NOENTRY_PATH, kReaperPluginVersion, "", LoadStatus::noEntryPoint, "has no ReaperPluginEntry"},
        {TEST_EXTENSION_PATH, 0x20D, "", LoadStatus::refused, "refused"},
        {TEST_EXTENSION_PATH, kReaperPluginVersion, "refuse", LoadStatus::refused, "returned 0"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.path);
        setenv ("BV_TEST_EXTENSION_MODE", c.mode, 1);
        ExtensionLibrary library (model);
        const auto result = library.load (c.path, c.version);
        EXPECT_EQ (result.status, c.status);
        EXPECT_NE (result.message.find (c.messagePart), std::string::npos) << result.message;
        EXPECT_FALSE (library.isLoaded());

        // An extension that refused after registering its timer must not leave it behind.
        EXPECT_EQ (model.timers().count(), 0);
    }
}

TEST_F (ExtensionLibraryTest, TimersLeftRegisteredAtUnloadAreRemovedAndCounted)
{
    setenv ("BV_TEST_EXTENSION_MODE", "leak-timer", 1);
    ExtensionLibrary library (model);
    ASSERT_TRUE (library.load (TEST_EXTENSION_PATH).ok());
    EXPECT_EQ (library.unload(), 1);
    EXPECT_EQ (model.timers().count(), 0);
}

TEST_F (ExtensionLibraryTest, DestructorUnloads)
{
    {
        ExtensionLibrary library (model);
        ASSERT_TRUE (library.load (TEST_EXTENSION_PATH).ok());
    }

    EXPECT_EQ (model.timers().count(), 0);
    EXPECT_EQ (model.journal().countOf ("Register"), 2);
}
