// bv-client's spot subcommand against the real extension loaded in the stand-in REAPER.

#include <set>

#include "LoadedExtensionTest.h"

using client_testing::LoadedExtensionTest;

namespace
{
// The take properties the extension wrote, by key, in call order.
std::vector<std::string> takeKeysWritten (reaper_host::HostModel& model)
{
    std::vector<std::string> keys;

    for (const auto& call : model.journal().callsTo ("SetMediaItemTakeInfo_Value"))
        if (call.arguments.size() > 1)
            keys.push_back (call.arguments[1]);

    return keys;
}
} // namespace

TEST_F (LoadedExtensionTest, SpotsSeveralFilesOneAfterTheOtherWithTheGivenSettings)
{
    const auto a = audioFile ("a.wav", 3.0);
    const auto b = audioFile ("b.wav", 4.0);
    const auto c = audioFile ("c.wav", 5.0);

    const auto run = client ({"spot", a, b, c, "--start", "0.5", "--end", "2.5", "--rate", "1.5", "--preserve-pitch", "--volume", "0.5", "--name", "Door"});

    EXPECT_EQ (run.exitCode, 0) << run.err;
    EXPECT_EQ (run.out, "spotted: " + a + "\nspotted: " + b + "\nspotted: " + c + "\n");
    EXPECT_EQ (run.err, "");

    // Each lands on the selected track where the previous one ended: 2 s each.
    const auto& items = model.project().tracks[1]->items;
    ASSERT_EQ (items.size(), 3u);
    EXPECT_TRUE (model.project().tracks[0]->items.empty());

    for (size_t i = 0; i < items.size(); ++i)
    {
        SCOPED_TRACE (i);
        EXPECT_DOUBLE_EQ (items[i]->position, 10.0 + 2.0 * (double) i);
        EXPECT_DOUBLE_EQ (items[i]->length, 2.0);
        ASSERT_EQ (items[i]->takes.size(), 1u);
        const auto& take = *items[i]->takes[0];
        EXPECT_EQ (take.name, "Door");
        EXPECT_DOUBLE_EQ (take.startOffset, 0.5);
        EXPECT_DOUBLE_EQ (take.playRate, 1.5);
        EXPECT_TRUE (take.preservePitch);
        EXPECT_DOUBLE_EQ (take.volume, 0.5);
    }

    EXPECT_DOUBLE_EQ (model.project().cursor, 16.0);

    const auto log = logText();
    EXPECT_LT (log.find ("Spotting:" + a), log.find ("Spotting:" + b));
    EXPECT_LT (log.find ("Spotting:" + b), log.find ("Spotting:" + c));
}

TEST_F (LoadedExtensionTest, OnlyTheOptionsGivenAreSentSincePresenceMatters)
{
    struct Case
    {
        std::vector<std::string> options;
        std::vector<std::string> keys; // take properties the extension then writes
    };

    const Case cases[] = {
        {{}, {}},
        {{"--preserve-pitch"}, {}}, // pitch is written only together with a rate
        {{"--rate", "2"}, {"\"D_PLAYRATE\"", "\"B_PPITCH\""}},
        {{"--start", "1"}, {"\"D_STARTOFFS\""}},
        {{"--volume", "0.25"}, {"\"D_VOL\""}},
        {{"--end", "1"}, {}},
    };

    const auto file = audioFile ("tone.wav", 2.0);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::PrintToString (c.options));
        model.journal().clear();

        std::vector<std::string> arguments{"spot", file};
        arguments.insert (arguments.end(), c.options.begin(), c.options.end());
        const auto run = client (arguments);

        EXPECT_EQ (run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ (takeKeysWritten (model), c.keys);
    }

    // Without --end the item is the whole file; with --end 1 it is 1 s long.
    const auto items = model.allItems();
    ASSERT_EQ (items.size(), std::size (cases));
    EXPECT_DOUBLE_EQ (items.front()->length, 2.0);
    EXPECT_DOUBLE_EQ (items.back()->length, 1.0);
    EXPECT_EQ (items.front()->takes[0]->name, "");
}

TEST_F (LoadedExtensionTest, AFailedSpotPrintsTheExtensionsTextAndTheOthersStillLand)
{
    const auto good = audioFile ("good.wav", 1.0);
    const auto missing = path ("missing.wav");

    const auto run = client ({"spot", good, missing, good});

    EXPECT_EQ (run.exitCode, 1);
    EXPECT_EQ (run.out, "spotted: " + good + "\nfailed: " + missing + ": Unable to find source file:" + missing + "\nspotted: " + good + "\n");
    EXPECT_EQ (model.itemCount(), 2);
    EXPECT_DOUBLE_EQ (model.project().cursor, 12.0);
}

TEST_F (LoadedExtensionTest, RefusedSettingsAreReportedAsFailures)
{
    const auto file = audioFile ("tone.wav", 1.0);

    const auto run = client ({"spot", file, "--start", "2", "--end", "1"});

    EXPECT_EQ (run.exitCode, 1);
    EXPECT_EQ (run.out.rfind ("failed: " + file + ": Invalid end offset", 0), 0u) << run.out;
    EXPECT_EQ (model.itemCount(), 0);
}

TEST_F (LoadedExtensionTest, ARelativePathIsSentAsACleanAbsoluteOne)
{
    const auto file = audioFile ("relative.wav", 1.0);
    std::filesystem::create_directory (folder / "sub");

    for (const auto* given : {"relative.wav", "./relative.wav", "sub/../relative.wav", ".//sub/./../relative.wav"})
    {
        SCOPED_TRACE (given);
        const auto before = logText().size();

        const auto run = client ({"spot", given}, folder.string());

        EXPECT_EQ (run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ (run.out, "spotted: " + file + "\n");
        EXPECT_NE (logText().find ("Spotting:" + file + "\r\n", before), std::string::npos);
    }
}

TEST_F (LoadedExtensionTest, ManyFilesInOneRunAreEachReportedInOrder)
{
    // Long paths make long failure texts: together the replies are larger than a FIFO's
    // buffer, and each must still be paired with its own file.
    const std::string longFolder = path (std::string (180, 'x'));
    constexpr int count = 300;
    std::vector<std::string> arguments{"spot", "--timeout", "5000"};
    std::string expected;

    for (int i = 0; i < count; ++i)
    {
        const auto file = longFolder + "/missing-" + std::to_string (i) + ".wav";
        arguments.push_back (file);
        expected += "failed: " + file + ": Unable to find source file:" + file + "\n";
    }

    const auto run = client (arguments);

    EXPECT_EQ (run.exitCode, 1) << run.err;
    EXPECT_EQ (run.out, expected);
    EXPECT_EQ (run.err, "");
}
