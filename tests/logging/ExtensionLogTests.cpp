#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "logging/ExtensionLog.h"
#include "logging/LogText.h"

namespace
{
std::string readFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile (const std::string& path, const std::string& text, bool append = false)
{
    std::ofstream out (path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out << text;
}

bool contains (const std::string& text, const std::string& part)
{
    return text.find (part) != std::string::npos;
}

bool endsWith (const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
}

class ExtensionLogTest : public ::testing::Test
{
protected:
    ExtensionLogTest()
    {
        char pattern[] = "/tmp/bv-log-test-XXXXXX";
        folder = ::mkdtemp (pattern) != nullptr ? pattern : "/tmp/bv-log-test";
        keptOpen = folder + "/kept/Reaper.txt";
    }

    ~ExtensionLogTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all (folder, ignored);
    }

    std::string folder;
    std::string keptOpen;
};
} // namespace

// The bytes log readers have always seen: a banner (a blank line, stars, the welcome
// message, the 12-hour start time, a blank line), then each message as it is, CR LF after
// each, UTF-8 untouched, an empty message an empty line.
TEST_F (ExtensionLogTest, WritesTheBannerAndEachLineWithCrLf)
{
    const std::vector<std::string> messages{"pipe created", "Spotting:/Sounds/caf\xc3\xa9 \"door\".wav", "", "Loop Selection In:8.000000 Out:12.000000"};

    {
        ExtensionLog log (keptOpen, {}, 131072);

        for (const auto& message : messages)
            log.logMessage (message);
    }

    const auto text = readFile (keptOpen);
    const std::regex expected ("\r\n\\*{58}\r\n\r\nLog started: [0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}[ap]m\r\n\r\n"
                               "pipe created\r\nSpotting:/Sounds/caf\xc3\xa9 \"door\".wav\r\n\r\nLoop Selection In:8.000000 Out:12.000000\r\n");
    EXPECT_TRUE (std::regex_match (text, expected)) << text;
}

// The banner's time, as log readers parse it: 12-hour clock, no leading zero on the day or
// hour, midnight and noon as 12.
TEST (LogText, BannerTimeAndNumbersReadTheSameInEveryLocale)
{
    struct Row
    {
        int day, month, year, hour, minute, second;
        const char* shown;
    };

    for (const auto& row : {Row{8, 11, 2026, 0, 5, 9, "8 Dec 2026 12:05:09am"}, Row{31, 0, 2027, 12, 0, 0, "31 Jan 2027 12:00:00pm"},
                            Row{1, 6, 2026, 23, 59, 59, "1 Jul 2026 11:59:59pm"}, Row{15, 2, 2026, 9, 30, 1, "15 Mar 2026 9:30:01am"}})
    {
        std::tm local{};
        local.tm_mday = row.day;
        local.tm_mon = row.month;
        local.tm_year = row.year - 1900;
        local.tm_hour = row.hour;
        local.tm_min = row.minute;
        local.tm_sec = row.second;
        EXPECT_EQ (log_text::bannerTime (local), row.shown);
    }

    // Numbers as the C library prints them in the C locale (%g and %f).
    for (const double value : {0.0, 1.5, -2.25, 12.345678, 1.0e-7, 123456789.0, 0.1 + 0.2})
    {
        char g[64], f[64];
        std::snprintf (g, sizeof (g), "%g", value);
        std::snprintf (f, sizeof (f), "%f", value);
        EXPECT_EQ (log_text::number (value), g);
        EXPECT_EQ (log_text::fixed (value), f);
    }
}

TEST_F (ExtensionLogTest, TrimsAtStartAndAppendsAfterWhatOthersWrote)
{
    // An old log larger than the limit is cut to its last lines first.
    std::filesystem::create_directories (folder + "/kept");
    std::string old;

    for (int i = 0; i < 2000; ++i)
        old += "old line " + std::to_string (i) + "\r\n";

    writeFile (keptOpen, old);

    ExtensionLog logger (keptOpen, {}, 1000);
    EXPECT_LT (std::filesystem::file_size (keptOpen), 1200u);
    EXPECT_FALSE (contains (readFile (keptOpen), "old line 0\r\n"));
    // Cut at a line break: the kept part starts with the break itself.
    EXPECT_NE (std::string ("\r\n").find (readFile (keptOpen).at (0)), std::string::npos);

    logger.logMessage ("first");

    // Another writer appends meanwhile; the next line goes after it, not over it.
    writeFile (keptOpen, "someone else\r\n", true);
    logger.logMessage ("second");

    EXPECT_TRUE (endsWith (readFile (keptOpen), "first\r\nsomeone else\r\nsecond\r\n"));
    EXPECT_TRUE (contains (readFile (keptOpen), "old line 1999\r\n"));
}

namespace
{
std::vector<std::string> linesOf (const std::string& file)
{
    std::vector<std::string> result;
    std::string line;

    for (const char c : readFile (file))
    {
        if (c != '\r' && c != '\n')
        {
            line.push_back (c);
            continue;
        }

        if (!line.empty())
            result.push_back (line);

        line.clear();
    }

    if (!line.empty())
        result.push_back (line);

    return result;
}

int countOf (const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int> (std::count (lines.begin(), lines.end(), line));
}

int bannerCount (const std::string& file)
{
    const auto lines = linesOf (file);
    return static_cast<int> (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                                            { return line.rfind ("Log started: ", 0) == 0; }));
}

// A folder the logger cannot create files in. Root may write anywhere, so for root a file
// takes the folder's place instead, which refuses the same way.
struct UnwritableFolder
{
    explicit UnwritableFolder (std::string folderToBlock)
        : folder (std::move (folderToBlock))
    {
        if (::geteuid() != 0)
        {
            ::chmod (folder.c_str(), 0555);
        }
        else
        {
            std::error_code ignored;
            std::filesystem::remove_all (folder, ignored);
            writeFile (folder, "in the way");
        }
    }

    void restore()
    {
        if (::geteuid() != 0)
            ::chmod (folder.c_str(), 0755);
        else
            ::unlink (folder.c_str());
    }

    std::string folder;
};
} // namespace

// The timed count is covered end to end; a count still open when the logger goes is written
// then, after the lines it counts.
TEST_F (ExtensionLogTest, ACountStillOpenWhenTheLoggerGoesIsWritten)
{
    {
        ExtensionLog logger (keptOpen, {}, 131072, LogFileAppender::Limits{}, 3);

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
TEST_F (ExtensionLogTest, AFileReplacedByAnotherIsWrittenAsItIs)
{
    ExtensionLog logger (keptOpen, {}, 131072);
    logger.logMessage ("before");

    writeFile (keptOpen, "someone else's\r\n");
    logger.logMessage ("into the new file");
    EXPECT_EQ (linesOf (keptOpen), (std::vector<std::string>{"someone else's", "into the new file"}));
    EXPECT_EQ (bannerCount (keptOpen), 0);
}

TEST_F (ExtensionLogTest, AnUnwritableFolderLosesNothingThatFitsAndRecoversWhenWritable)
{
    LogFileAppender::Limits limits;
    limits.keptWhileUnwritable = 400;
    ExtensionLog logger (keptOpen, {}, 131072, limits);
    logger.logMessage ("before");

    ASSERT_EQ (::unlink (keptOpen.c_str()), 0);
    UnwritableFolder blocked (folder + "/kept");

    for (int i = 0; i < 40; ++i)
        logger.logMessage ("while unwritable " + std::to_string (i)); // 20 bytes a line: the last 20 fit

    EXPECT_FALSE (std::filesystem::exists (keptOpen));

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
    std::int64_t keptBytes = 0;

    for (int i = lostCount; i < 40; ++i)
    {
        expected.push_back ("while unwritable " + std::to_string (i));
        keptBytes += static_cast<std::int64_t> (expected.back().size() + 2);
    }

    expected.push_back ("writable again");
    EXPECT_EQ (std::vector<std::string> (lost, lines.end()), expected);
    EXPECT_LE (keptBytes, 400);
    EXPECT_GT (keptBytes, 400 - 25);
}

TEST_F (ExtensionLogTest, LinesStillWaitingWhenTheLoggerGoesAreWrittenToStandardError)
{
    auto logger = std::make_unique<ExtensionLog> (keptOpen, std::string(), 131072);
    ASSERT_EQ (::unlink (keptOpen.c_str()), 0);
    UnwritableFolder blocked (folder + "/kept");
    logger->logMessage ("nowhere to go");

    ::testing::internal::CaptureStderr();
    logger.reset();
    const auto standardError = ::testing::internal::GetCapturedStderr();
    blocked.restore();

    EXPECT_EQ (standardError, "nowhere to go\r\n");
}
