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

TEST_F (KeptOpenFileLoggerTest, EveryLineStaysOneLineWhateverControlCharactersItCarries)
{
    KeptOpenFileLogger logger (keptOpen, {}, 131072);

    std::string path = "Spotting:/Sounds/new";

    for (char c = 1; c < 0x20; ++c)
        path += std::string (1, c) + "|";

    path += "\x7F\xC2\x85\xE2\x80\xA8line.wav";
    logger.logMessage (juce::String::fromUTF8 (path.c_str()));
    logger.logMessage ("pipe created");

    const auto lines = linesOf (keptOpen);
    ASSERT_GE (lines.size(), 2u);
    EXPECT_EQ (lines[lines.size() - 1], "pipe created");
    const auto& spotting = lines[lines.size() - 2];
    EXPECT_EQ (spotting.rfind ("Spotting:/Sounds/new\\x01|\\x02|", 0), 0u) << spotting;
    EXPECT_NE (spotting.find ("|\\t|\\n|\\x0B|\\x0C|\\r|"), std::string::npos) << spotting;
    EXPECT_NE (spotting.find ("\\x7F\\u0085\\u2028line.wav"), std::string::npos) << spotting;
}

TEST_F (KeptOpenFileLoggerTest, AFloodOfOneLineCostsAFewLinesAndTheCountIsWrittenInTime)
{
    {
        KeptOpenFileLogger logger (keptOpen, {}, 131072);
        const auto sizeBefore = keptOpen.getSize();

        for (int i = 0; i < 50000; ++i)
        {
            logger.logMessage ("JUCE Assertion failure in RequestDispatcher.cpp:14");
            logger.logMessage ("Unable to parse message");
        }

        // 101 pairs in full; the rest only counted.
        EXPECT_LT (keptOpen.getSize() - sizeBefore, 20000);
        EXPECT_EQ (countOf (linesOf (keptOpen), "Unable to parse message"), 101);

        // Without any further line, the count appears within the summary delay.
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;

        while (countOf (linesOf (keptOpen), "Unable to parse message (repeated 49,899 more times)") == 0
               && juce::Time::getMillisecondCounter() < deadline)
            juce::Thread::sleep (20);

        const auto lines = linesOf (keptOpen);
        EXPECT_EQ (countOf (lines, "JUCE Assertion failure in RequestDispatcher.cpp:14 (repeated 49,899 more times)"), 1);
        EXPECT_EQ (countOf (lines, "Unable to parse message (repeated 49,899 more times)"), 1);

        // A count still open when the logger goes is written then.
        for (int i = 0; i < 10; ++i)
        {
            logger.logMessage ("JUCE Assertion failure in RequestDispatcher.cpp:14");
            logger.logMessage ("Unable to parse message");
        }
    }

    EXPECT_EQ (linesOf (keptOpen).back(), "Unable to parse message (repeated 10 more times)");
}

TEST_F (KeptOpenFileLoggerTest, TheFileStaysWithinItsBoundAndKeepsItsNewestLines)
{
    LogFileAppender::Limits limits;
    limits.growthAllowed = 20000;
    KeptOpenFileLogger logger (keptOpen, {}, 2000, limits);
    const auto startSize = keptOpen.getSize();
    juce::int64 largest = 0;

    for (int i = 0; i < 5000; ++i)
    {
        logger.logMessage ("Spotting:/Sounds/take " + juce::String (i) + ".wav");
        largest = std::max (largest, keptOpen.getSize());
    }

    EXPECT_LE (largest, startSize + 20000 + 64);
    const auto text = keptOpen.loadFileAsString();
    EXPECT_TRUE (text.endsWith ("Spotting:/Sounds/take 4999.wav\r\n"));
    EXPECT_TRUE (text.contains (LogFileAppender::trimmedNotice (2000)));
    EXPECT_FALSE (text.contains ("Log started: ")); // the start banner was trimmed away long ago
    EXPECT_TRUE (text.startsWith ("\r") || text.startsWith ("\n")) << text.substring (0, 40);
}

TEST_F (KeptOpenFileLoggerTest, AFileRemovedOrRenamedIsMadeAgainByTheNextLine)
{
    KeptOpenFileLogger logger (keptOpen, {}, 131072);
    logger.logMessage ("before");

    // Removed: the next line makes it again, banner first.
    ASSERT_TRUE (keptOpen.deleteFile());
    logger.logMessage ("after removal");
    EXPECT_EQ (bannerCount (keptOpen), 1);
    EXPECT_EQ (linesOf (keptOpen).back(), "after removal");
    EXPECT_EQ (countOf (linesOf (keptOpen), "before"), 0);

    // Renamed, as a log rotation does: the old file keeps what it had.
    const auto rotated = keptOpen.getSiblingFile ("Reaper.txt.1");
    ASSERT_TRUE (keptOpen.moveFileTo (rotated));
    logger.logMessage ("after rotation");
    EXPECT_EQ (linesOf (rotated).back(), "after removal");
    EXPECT_EQ (linesOf (keptOpen).back(), "after rotation");
    EXPECT_EQ (bannerCount (keptOpen), 1);

    // The whole folder gone.
    ASSERT_TRUE (keptOpen.getParentDirectory().deleteRecursively());
    logger.logMessage ("after the folder went");
    EXPECT_EQ (linesOf (keptOpen), (std::vector<std::string>{std::string (58, '*'), linesOf (keptOpen)[1], "after the folder went"}));

    // Replaced by another file (another instance's trim, a rotation tool): used as it is.
    keptOpen.replaceWithText ("someone else's\r\n");
    logger.logMessage ("into the new file");
    EXPECT_EQ (linesOf (keptOpen), (std::vector<std::string>{"someone else's", "into the new file"}));
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
