#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include "logging/KeptOpenFileLogger.h"

namespace
{
class KeptOpenFileLoggerTest : public ::testing::Test
{
protected:
    ~KeptOpenFileLoggerTest() override
    {
        folder.deleteRecursively();
    }

    juce::File folder = juce::File::createTempFile ("bv-log-test");
    juce::File keptOpen = folder.getChildFile ("kept/Reaper.txt");
    juce::File reference = folder.getChildFile ("reference/Reaper.txt");
};

juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock block;
    file.loadFileAsData (block);
    return block;
}
} // namespace

TEST_F (KeptOpenFileLoggerTest, WritesTheSameBytesAsJucesFileLogger)
{
    // The start banner carries the time to the second; both loggers are made together.
    const std::vector<std::string> messages{"pipe created", "Spotting:/Sounds/caf\xc3\xa9 \"door\".wav", "", "Loop Selection In:8.000000 Out:12.000000"};

    {
        KeptOpenFileLogger kept (keptOpen, {}, 131072);
        juce::FileLogger plain (reference, {}, 131072);

        for (const auto& message : messages)
        {
            kept.logMessage (juce::String::fromUTF8 (message.c_str()));
            plain.logMessage (juce::String::fromUTF8 (message.c_str()));
        }
    }

    const auto keptBytes = bytesOf (keptOpen);
    EXPECT_GT (keptBytes.getSize(), 0u);
    EXPECT_EQ (keptBytes, bytesOf (reference));
    const std::string text (static_cast<const char*> (keptBytes.getData()), keptBytes.getSize());
    EXPECT_NE (text.find ("caf\xc3\xa9 \"door\".wav\r\n\r\nLoop"), std::string::npos);
}

TEST_F (KeptOpenFileLoggerTest, TrimsAtStartAndAppendsAfterWhatOthersWrote)
{
    // An old log larger than the limit is cut to its last lines first.
    keptOpen.create();
    juce::String old;

    for (int i = 0; i < 2000; ++i)
        old << "old line " << i << "\r\n";

    keptOpen.replaceWithText (old, false, false, nullptr);

    KeptOpenFileLogger logger (keptOpen, {}, 1000);
    EXPECT_LT (keptOpen.getSize(), 1200);
    EXPECT_FALSE (keptOpen.loadFileAsString().contains ("old line 0\r\n"));

    logger.logMessage ("first");

    // Another writer appends meanwhile; the next line goes after it, not over it.
    keptOpen.appendText ("someone else\r\n", false, false, nullptr);
    logger.logMessage ("second");

    EXPECT_TRUE (keptOpen.loadFileAsString().endsWith ("first\r\nsomeone else\r\nsecond\r\n"));
    EXPECT_TRUE (keptOpen.loadFileAsString().contains ("old line 1999\r\n"));
}
