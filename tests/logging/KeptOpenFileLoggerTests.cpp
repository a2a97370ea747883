#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <sys/stat.h>
#include <unistd.h>

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

namespace
{
std::vector<std::string> linesOf (const juce::File& file)
{
    juce::StringArray lines;
    lines.addTokens (file.loadFileAsString(), "\r\n", "");
    std::vector<std::string> result;

    for (const auto& line : lines)
        if (line.isNotEmpty())
            result.push_back (line.toStdString());

    return result;
}

int countOf (const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int> (std::count (lines.begin(), lines.end(), line));
}

int bannerCount (const juce::File& file)
{
    const auto lines = linesOf (file);
    return static_cast<int> (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                                            { return line.rfind ("Log started: ", 0) == 0; }));
}

// A folder the logger cannot create files in. Root may write anywhere, so for root a file
// takes the folder's place instead, which refuses the same way.
struct UnwritableFolder
{
    explicit UnwritableFolder (const juce::File& folderToBlock)
        : folder (folderToBlock)
    {
        if (::geteuid() != 0)
        {
            ::chmod (folder.getFullPathName().toRawUTF8(), 0555);
        }
        else
        {
            folder.deleteRecursively();
            folder.replaceWithText ("in the way");
        }
    }

    void restore()
    {
        if (::geteuid() != 0)
            ::chmod (folder.getFullPathName().toRawUTF8(), 0755);
        else
            folder.deleteFile();
    }

    juce::File folder;
};
} // namespace

// The timed count is covered end to end; a count still open when the logger goes is written
// then, after the lines it counts.
TEST_F (KeptOpenFileLoggerTest, ACountStillOpenWhenTheLoggerGoesIsWritten)
{
    {
        KeptOpenFileLogger logger (keptOpen, {}, 131072, LogFileAppender::Limits{}, 3);

        for (int i = 0; i < 10; ++i)
        {
            logger.logMessage ("JUCE Assertion failure in RequestDispatcher.cpp:14");
            logger.logMessage ("Unable to parse message");
        }
    }

    const auto lines = linesOf (keptOpen);
    ASSERT_GE (lines.size(), 2u);
    EXPECT_EQ (countOf (lines, "Unable to parse message"), 4);
    EXPECT_EQ (lines[lines.size() - 2], "JUCE Assertion failure in RequestDispatcher.cpp:14 (repeated 6 more times)");
    EXPECT_EQ (lines.back(), "Unable to parse message (repeated 6 more times)");
}

// Removal and renaming are covered end to end. A file another program put in its place (a
// rotation tool, another REAPER's trim) is used as it is, without a banner.
TEST_F (KeptOpenFileLoggerTest, AFileReplacedByAnotherIsWrittenAsItIs)
{
    KeptOpenFileLogger logger (keptOpen, {}, 131072);
    logger.logMessage ("before");

    keptOpen.replaceWithText ("someone else's\r\n");
    logger.logMessage ("into the new file");
    EXPECT_EQ (linesOf (keptOpen), (std::vector<std::string>{"someone else's", "into the new file"}));
    EXPECT_EQ (bannerCount (keptOpen), 0);
}

TEST_F (KeptOpenFileLoggerTest, AnUnwritableFolderLosesNothingThatFitsAndRecoversWhenWritable)
{
    LogFileAppender::Limits limits;
    limits.keptWhileUnwritable = 400;
    KeptOpenFileLogger logger (keptOpen, {}, 131072, limits);
    logger.logMessage ("before");

    ASSERT_TRUE (keptOpen.deleteFile());
    UnwritableFolder blocked (keptOpen.getParentDirectory());

    for (int i = 0; i < 40; ++i)
        logger.logMessage ("while unwritable " + juce::String (i)); // 20 bytes a line: the last 20 fit

    EXPECT_FALSE (keptOpen.existsAsFile());

    blocked.restore();
    logger.logMessage ("writable again");

    // The banner, the count of lines that did not fit, the newest lines that did (whole, in
    // order, at most the limit), then the new line.
    const auto lines = linesOf (keptOpen);
    EXPECT_EQ (bannerCount (keptOpen), 1);
    const auto lost = std::find_if (lines.begin(), lines.end(), [] (const std::string& line)
                                    { return line.rfind ("Log file could not be written: ", 0) == 0; });
    ASSERT_NE (lost, lines.end());
    const int lostCount = std::stoi (lost->substr (31));
    EXPECT_GT (lostCount, 0);

    std::vector<std::string> expected{*lost};
    juce::int64 keptBytes = 0;

    for (int i = lostCount; i < 40; ++i)
    {
        expected.push_back ("while unwritable " + std::to_string (i));
        keptBytes += static_cast<juce::int64> (expected.back().size() + 2);
    }

    expected.push_back ("writable again");
    EXPECT_EQ (std::vector<std::string> (lost, lines.end()), expected);
    EXPECT_LE (keptBytes, 400);
    EXPECT_GT (keptBytes, 400 - 25);
}

TEST_F (KeptOpenFileLoggerTest, LinesStillWaitingWhenTheLoggerGoesAreWrittenToStandardError)
{
    auto logger = std::make_unique<KeptOpenFileLogger> (keptOpen, juce::String(), 131072);
    ASSERT_TRUE (keptOpen.deleteFile());
    UnwritableFolder blocked (keptOpen.getParentDirectory());
    logger->logMessage ("nowhere to go");

    ::testing::internal::CaptureStderr();
    logger.reset();
    const auto standardError = ::testing::internal::GetCapturedStderr();
    blocked.restore();

    EXPECT_EQ (standardError, "nowhere to go\r\n");
}
