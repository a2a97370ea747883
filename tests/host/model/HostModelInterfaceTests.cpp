#include <string>

#include <gtest/gtest.h>

#include "FunctionTable.h"
#include "HostModel.h"

using namespace reaper_host;

namespace
{
int ticksA = 0;
int ticksB = 0;

void timerA()
{
    ++ticksA;
}

// Unregisters itself on its second tick, as an extension may from inside its timer.
void timerB()
{
    if (++ticksB == 2)
        HostModel::current().pluginInfo()->Register ("-timer", reinterpret_cast<void*> (&timerB));
}

class HostModelInterface : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        model.timers().clear();
        ticksA = ticksB = 0;
    }

    void TearDown() override
    {
        model.timers().clear();
    }

    HostModel& model = HostModel::current();
};
} // namespace

TEST_F (HostModelInterface, GetFuncAnswersEveryHostFunctionUnlessWithheld)
{
    ASSERT_EQ (hostFunctionNames().size(), 40u);

    for (const auto& name : hostFunctionNames())
        EXPECT_NE (getFunc (name.c_str()), nullptr) << name;

    EXPECT_EQ (getFunc ("NoSuchFunction"), nullptr);
    EXPECT_EQ (getFunc (nullptr), nullptr);

    model.withhold ("UpdateTimeline");
    EXPECT_EQ (getFunc ("UpdateTimeline"), nullptr);
    EXPECT_NE (getFunc ("UpdateArrange"), nullptr);
    EXPECT_EQ (model.lookups().back(), "UpdateArrange");
    EXPECT_EQ (model.lookups().size(), 40u + 3u);
}

TEST_F (HostModelInterface, RecordCarriesTheChosenVersionAndTheHostFunctions)
{
    auto* rec = model.pluginInfo (0x20D);
    EXPECT_EQ (rec->caller_version, 0x20D);
    EXPECT_EQ (rec->hwnd_main, nullptr);
    EXPECT_EQ (rec->GetFunc ("CountTracks"), getFunc ("CountTracks"));
    EXPECT_EQ (model.pluginInfo()->caller_version, kReaperPluginVersion);
}

TEST_F (HostModelInterface, TimersRunEachRoundUntilUnregistered)
{
    auto* rec = model.pluginInfo();
    EXPECT_EQ (rec->Register ("timer", reinterpret_cast<void*> (&timerA)), 1);
    EXPECT_EQ (rec->Register ("timer", reinterpret_cast<void*> (&timerB)), 1);
    EXPECT_EQ (rec->Register ("timer", reinterpret_cast<void*> (&timerA)), 1);
    EXPECT_EQ (model.timers().count(), 2);

    for (int i = 0; i < 3; ++i)
        model.timers().runAll();

    EXPECT_EQ (ticksA, 3);
    EXPECT_EQ (ticksB, 2);
    EXPECT_EQ (rec->Register ("-timer", reinterpret_cast<void*> (&timerA)), 1);
    EXPECT_EQ (rec->Register ("-timer", reinterpret_cast<void*> (&timerA)), 0);
    model.timers().runAll();
    EXPECT_EQ (ticksA, 3);
    EXPECT_EQ (model.timers().count(), 0);

    EXPECT_EQ (rec->Register ("hookcommand", reinterpret_cast<void*> (&timerA)), 0);
    EXPECT_EQ (model.otherRegistrations, std::vector<std::string>{"hookcommand"});
}

TEST_F (HostModelInterface, MessageBoxIsRecordedAndAnswered)
{
    model.echoMessageBoxes = false;
    model.messageBoxAnswer = 1;
    auto showMessageBox = reinterpret_cast<int (*) (const char*, const char*, int)> (getFunc ("ShowMessageBox"));
    ASSERT_NE (showMessageBox, nullptr);

    EXPECT_EQ (showMessageBox ("Too old", "Incompatible", 0), 1);
    ASSERT_EQ (model.project().messageBoxes.size(), 1u);
    EXPECT_EQ (model.project().messageBoxes[0].title, "Incompatible");
    EXPECT_EQ (model.project().messageBoxes[0].message, "Too old");
}
