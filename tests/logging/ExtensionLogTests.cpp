#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../support/ScopedVariable.h"
#include "../support/TempDirectory.h"
#include "LogLocation.h"
#include "logging/ExtensionLog.h"
#include "logging/Log.h"
#include "logging/LogText.h"
#include "logging/StandardError.h"

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

// What `run` writes to standard error: its writer started on the file captured, waited for.
std::string standardErrorOf (const std::function<void()>& run)
{
    standard_error::stop();
    ::testing::internal::CaptureStderr();
    run();
    EXPECT_TRUE (standard_error::waitUntilWritten (std::chrono::seconds (20)));
    standard_error::stop();
    return ::testing::internal::GetCapturedStderr();
}

class ExtensionLogTest : public ::testing::Test
{
protected:
    testing_support::TempDirectory folder{"bv-log-test"};
    std::string keptOpen = folder.path ("kept/Reaper.txt");
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
    std::filesystem::create_directories (folder.path ("kept"));
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
    // Room for exactly 20 lines of 21 bytes.
    LogFileAppender::Limits limits;
    limits.keptWhileUnwritable = 20 * 21;
    ExtensionLog logger (keptOpen, {}, 131072, limits);
    logger.logMessage ("before");

    ASSERT_EQ (::unlink (keptOpen.c_str()), 0);
    UnwritableFolder blocked (folder.path ("kept"));
    const auto line = [] (int i)
    { return "while unwritable " + std::string (i < 10 ? "0" : "") + std::to_string (i); };

    for (int i = 0; i < 41; ++i)
        logger.logMessage (line (i));

    EXPECT_FALSE (std::filesystem::exists (keptOpen));

    blocked.restore();
    logger.logMessage ("writable again");

    // The banner, the exact count of lines that did not fit, the newest lines that did (all
    // that fit, whole, in order), then the new line.
    const auto lines = linesOf (keptOpen);
    EXPECT_EQ (bannerCount (keptOpen), 1);
    std::vector<std::string> expected{"Log file could not be written: 21 lines were lost"};

    for (int i = 21; i < 41; ++i)
        expected.push_back (line (i));

    expected.push_back ("writable again");
    ASSERT_GE (lines.size(), expected.size());
    EXPECT_EQ (std::vector<std::string> (lines.end() - static_cast<std::ptrdiff_t> (expected.size()), lines.end()), expected);
}

TEST_F (ExtensionLogTest, LinesStillWaitingWhenTheLoggerGoesAreWrittenToStandardError)
{
    auto logger = std::make_unique<ExtensionLog> (keptOpen, std::string(), 131072);
    ASSERT_EQ (::unlink (keptOpen.c_str()), 0);
    UnwritableFolder blocked (folder.path ("kept"));
    logger->logMessage ("nowhere to go");

    const auto standardError = standardErrorOf ([&]
                                                { logger.reset(); });
    blocked.restore();

    EXPECT_EQ (standardError, "nowhere to go\r\n");
}

namespace
{
bool startsWith (const std::string& text, const std::string& start)
{
    return text.rfind (start, 0) == 0;
}

// Lines of varying length, so that no cut falls on a line break by chance.
std::string numberedLine (int i)
{
    return "line " + std::to_string (i) + " " + std::string (static_cast<std::size_t> ((i * 7) % 23), '.');
}

// The number of a line numberedLine made, or -1.
int numberOf (const std::string& line)
{
    if (!startsWith (line, "line "))
        return -1;

    const int i = std::atoi (line.c_str() + 5);
    return numberedLine (i) == line ? i : -1;
}

const std::regex kHeadLine ("Log started [0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}[ap]m in process [0-9]+, trimmed since(; .*)?");

// Whether the log was cut in session.
bool trimmed (const std::string& file)
{
    return contains (readFile (file), "Log trimmed to its last ");
}
} // namespace

// Cut in session, the log begins with when it started and how the pipe is, then whole lines
// only, the newest, then a line saying it was cut.
TEST_F (ExtensionLogTest, ALogCutInSessionBeginsWithItsStartThenWholeLines)
{
    LogFileAppender::Limits limits;
    limits.growthAllowed = 4000;
    ExtensionLog logger (keptOpen, {}, 1000, limits);
    logger.setPipeStatus ([]
                          { return std::string ("pipe served"); });
    int written = 0;

    while (!trimmed (keptOpen) && written < 1000)
        logger.logMessage (numberedLine (written++));

    const auto lines = linesOf (keptOpen);
    ASSERT_GE (lines.size(), 3u);
    EXPECT_TRUE (std::regex_match (lines.front(), kHeadLine)) << lines.front();
    EXPECT_TRUE (endsWith (lines.front(), ", trimmed since; pipe served")) << lines.front();
    EXPECT_EQ (lines.back(), "Log trimmed to its last 1000 bytes");

    // Every line between is one that was written, in order, up to the newest.
    std::int64_t keptBytes = 0;

    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
    {
        EXPECT_EQ (numberOf (lines[i]), written - static_cast<int> (lines.size() - 1 - i)) << lines[i];
        keptBytes += static_cast<std::int64_t> (lines[i].size() + 2);
    }

    EXPECT_LE (keptBytes, 1000);
    EXPECT_GT (keptBytes, 1000 - 40);
}

// The growth allowed counts from the size the log had once started, not from nothing.
TEST_F (ExtensionLogTest, TheLogIsCutOnlyOnceItHasGrownByTheAllowanceSinceItsStart)
{
    std::filesystem::create_directories (folder.path ("kept"));
    std::string earlier;

    for (int i = 0; earlier.size() < 50000; ++i)
        earlier += "earlier " + std::to_string (i) + "\r\n";

    writeFile (keptOpen, earlier);

    LogFileAppender::Limits limits;
    limits.growthAllowed = 20000;
    ExtensionLog logger (keptOpen, {}, 131072, limits);
    int written = 0;

    while (written < 500) // about 10 KB
        logger.logMessage (numberedLine (written++));

    EXPECT_FALSE (trimmed (keptOpen));
    EXPECT_TRUE (startsWith (readFile (keptOpen), earlier));

    while (!trimmed (keptOpen) && written < 2000)
        logger.logMessage (numberedLine (written++));

    EXPECT_TRUE (trimmed (keptOpen));
    EXPECT_GT (written, 900); // 20 KB past the start
}

// A line of any length is logged within 8 KiB, so a cut in session still keeps most of what
// it may; a repeat count fits within the bound too.
TEST_F (ExtensionLogTest, LongLinesAreCutSoThatACutLogKeepsItsHistory)
{
    LogFileAppender::Limits limits;
    limits.growthAllowed = 20000;
    ExtensionLog logger (keptOpen, {}, 32768, limits, 3);

    for (int i = 0; i < 100; ++i)
        logger.logMessage (numberedLine (i));

    const std::string longPath = "Spotting:/" + std::string (600 * 1000, 'p') + ".wav";

    for (int i = 0; i < 10; ++i)
        logger.logMessage (longPath);

    logger.logMessage ("after");

    const auto lines = linesOf (keptOpen);
    ASSERT_TRUE (trimmed (keptOpen));
    ASSERT_GE (lines.size(), 3u);
    EXPECT_TRUE (std::regex_match (lines.front(), kHeadLine)) << lines.front();

    // Room kept for a repeat count (48 bytes) and for the note (48 bytes).
    const std::string cut = longPath.substr (0, 8192 - 48 - 48) + " ... (591,918 bytes left out)";
    EXPECT_TRUE (std::vector<std::string> (lines.end() - 3, lines.end())
                 == (std::vector<std::string>{cut + " (repeated 6 more times)", "after", "Log trimmed to its last 32768 bytes"}));
    EXPECT_GE (countOf (lines, cut), 2);

    for (const auto& line : lines)
        EXPECT_LE (line.size(), 8192u);

    EXPECT_GT (std::filesystem::file_size (keptOpen), 32768u - 8192u);
}

namespace
{
// Writes to regular files beyond a size fail, as on a full disk: a write crossing it is
// short, the next one fails (EFBIG; the signal that would come with it is ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit (std::uintmax_t bytes)
    {
        ::getrlimit (RLIMIT_FSIZE, &previous);
        previousHandler = std::signal (SIGXFSZ, SIG_IGN);
        rlimit limit = previous;
        limit.rlim_cur = static_cast<rlim_t> (bytes);
        ::setrlimit (RLIMIT_FSIZE, &limit);
    }

    ~FileSizeLimit()
    {
        lift();
    }

    void lift()
    {
        if (lifted)
            return;

        ::setrlimit (RLIMIT_FSIZE, &previous);
        std::signal (SIGXFSZ, previousHandler);
        lifted = true;
    }

private:
    rlimit previous{};
    void (*previousHandler) (int) = nullptr;
    bool lifted = false;
};
} // namespace

// A full disk in the middle of a line: once there is room again, the line is finished, or,
// when it was lost among others, ended; the count of lost lines is exact and on a line of
// its own, and the newest lines follow it.
TEST_F (ExtensionLogTest, AFullDiskLosesLinesCountedExactlyOnALineOfTheirOwn)
{
    const struct
    {
        const char* name;
        int linesWhileFull;
    } cases[] = {
        {"all waiting lines fit", 6},
        {"lines lost", 300},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto path = folder.path (std::to_string (c.linesWhileFull) + "/Reaper.txt");
        LogFileAppender::Limits limits;
        limits.keptWhileUnwritable = 300;
        ExtensionLog logger (path, {}, 131072, limits);
        logger.logMessage ("before");

        {
            // Room for one line and a half of the 30-byte lines.
            FileSizeLimit full (std::filesystem::file_size (path) + 45);

            for (int i = 0; i < c.linesWhileFull; ++i)
                logger.logMessage ("while full " + std::to_string (100 + i) + std::string (12, '.'));
        }

        logger.logMessage ("room again");

        // Whole lines in order, at most one line cut short (counted as lost), the count,
        // then the newest lines.
        const auto lines = linesOf (path);
        const auto before = std::find (lines.begin(), lines.end(), "before");
        ASSERT_NE (before, lines.end());
        ASSERT_EQ (lines.back(), "room again");
        const auto lineNumbered = [] (int n)
        { return "while full " + std::to_string (n) + std::string (12, '.'); };
        std::vector<int> whole, wholeAfterCount;
        int lost = 0, cutShort = 0;

        for (auto line = before + 1; line != lines.end() - 1; ++line)
        {
            if (startsWith (*line, "Log file could not be written: "))
            {
                EXPECT_EQ (lost, 0) << "a second count";
                lost = std::atoi (line->c_str() + 31);
                EXPECT_EQ (*line, "Log file could not be written: " + std::to_string (lost) + " lines were lost");
            }
            else if (startsWith (*line, "while full ") && *line == lineNumbered (std::atoi (line->c_str() + 11)))
            {
                (lost > 0 ? wholeAfterCount : whole).push_back (std::atoi (line->c_str() + 11));
            }
            else
            {
                ++cutShort;
                EXPECT_EQ (lost, 0) << *line;
                EXPECT_TRUE (startsWith (lineNumbered (101), *line)) << *line;
            }
        }

        whole.insert (whole.end(), wholeAfterCount.begin(), wholeAfterCount.end());
        EXPECT_TRUE (std::is_sorted (whole.begin(), whole.end()));
        ASSERT_FALSE (whole.empty());
        EXPECT_EQ (whole.back(), 100 + c.linesWhileFull - 1);
        EXPECT_EQ (static_cast<int> (whole.size()) + lost, c.linesWhileFull);
        EXPECT_LE (cutShort, lost > 0 ? 1 : 0);

        // After the count, the newest lines that fitted, one after the other.
        for (std::size_t i = 1; i < wholeAfterCount.size(); ++i)
            EXPECT_EQ (wholeAfterCount[i], wholeAfterCount[i - 1] + 1);

        EXPECT_EQ (lost > 0, c.linesWhileFull > 10);
    }
}

// A full disk cuts the banner, or the last line at unload: the banner is finished once there
// is room, and the rest of the last line is counted as lost, not written to standard error.
TEST_F (ExtensionLogTest, AFullDiskNeitherLosesTheBannerUncountedNorSplitsALineAcrossTwoPlaces)
{
    {
        FileSizeLimit full (20);
        ExtensionLog logger (keptOpen, {}, 131072);
        full.lift();
        logger.logMessage ("room again");
    }

    EXPECT_EQ (bannerCount (keptOpen), 1);
    EXPECT_EQ (linesOf (keptOpen).back(), "room again");

    std::unique_ptr<ExtensionLog> logger = std::make_unique<ExtensionLog> (keptOpen, std::string(), 131072);
    FileSizeLimit full (std::filesystem::file_size (keptOpen) + 9);
    logger->logMessage ("~ReaperBridge");
    EXPECT_EQ (standardErrorOf ([&]
                                { logger.reset(); }),
               "Log file could not be written: 1 lines were lost\r\n");
}

// Only a regular file of this user with no other name is the log: anything else at its
// path is never written, cut (at start-up either) or followed, and the lines go to a file
// of the log's own beside it, after a line saying why.
TEST_F (ExtensionLogTest, APathThatIsNotThisUsersOwnFileIsLeftAloneAndTheLogKeptBesideIt)
{
    enum class Plant
    {
        symbolicLink,
        danglingLink,
        secondName,
        directory,
        fifo,
        otherUsersFile
    };

    const struct
    {
        const char* name;
        Plant plant;
        const char* reason;
    } cases[] = {
        {"a symbolic link to another file", Plant::symbolicLink, "is a symbolic link"},
        {"a dangling symbolic link", Plant::danglingLink, "is a symbolic link"},
        {"a second name of another file", Plant::secondName, "has other names"},
        {"a directory", Plant::directory, "is a directory"},
        {"a FIFO", Plant::fifo, "exists and is not a regular file"},
        {"another user's file", Plant::otherUsersFile, "is owned by another user"},
    };

    // Larger than what is kept at start-up, so a trim would show.
    std::string precious;

    for (int i = 0; precious.size() < 5000; ++i)
        precious += "precious " + std::to_string (i) + "\r\n";

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);

        if (c.plant == Plant::otherUsersFile && ::geteuid() != 0)
        {
            std::printf ("not run: a file of another user needs root\n");
            continue;
        }

        const auto logFolder = folder.path (std::to_string (static_cast<int> (c.plant)));
        const auto path = logFolder + "/Reaper.txt";
        const auto other = logFolder + "/other.txt";
        std::filesystem::create_directories (logFolder);

        switch (c.plant)
        {
            case Plant::symbolicLink:
                writeFile (other, precious);
                ASSERT_EQ (::symlink (other.c_str(), path.c_str()), 0);
                break;
            case Plant::danglingLink:
                ASSERT_EQ (::symlink (other.c_str(), path.c_str()), 0);
                break;
            case Plant::secondName:
                writeFile (other, precious);
                ASSERT_EQ (::link (other.c_str(), path.c_str()), 0);
                break;
            case Plant::directory:
                ASSERT_EQ (::mkdir (path.c_str(), 0755), 0);
                break;
            case Plant::fifo:
                ASSERT_EQ (::mkfifo (path.c_str(), 0600), 0);
                break;
            case Plant::otherUsersFile:
                writeFile (path, precious);
                ASSERT_EQ (::chown (path.c_str(), 12345, 12345), 0);
                break;
        }

        struct stat before;
        ASSERT_EQ (::lstat (path.c_str(), &before), 0);

        {
            ExtensionLog logger (path, {}, 1000);
            logger.logMessage ("a line");
        }

        struct stat after;
        ASSERT_EQ (::lstat (path.c_str(), &after), 0);
        EXPECT_EQ (after.st_ino, before.st_ino);
        EXPECT_EQ (after.st_mode, before.st_mode);
        EXPECT_EQ (after.st_size, before.st_size);

        if (c.plant == Plant::danglingLink)
        {
            EXPECT_FALSE (std::filesystem::exists (other));
        }
        else if (c.plant == Plant::otherUsersFile)
        {
            EXPECT_EQ (readFile (path), precious);
        }
        else if (c.plant != Plant::directory && c.plant != Plant::fifo)
        {
            EXPECT_EQ (readFile (other), precious);
        }

        const auto beside = logFolder + "/Reaper.own.txt";
        EXPECT_EQ (LogFileAppender::besidePath (path), beside);
        const auto besideLines = linesOf (beside);
        EXPECT_EQ (bannerCount (beside), 1);
        ASSERT_FALSE (besideLines.empty());
        EXPECT_EQ (besideLines.back(), "a line");
        EXPECT_EQ (countOf (besideLines, "Log file not used: " + path + " " + c.reason), 1);
    }
}

// Refused beside the path too: the lines go to standard error, and neither file is touched.
// A log replaced by a link while it runs is left alone the same way.
TEST_F (ExtensionLogTest, WithNoSafeFileTheLinesGoToStandardError)
{
    std::filesystem::create_directories (folder.path ("kept"));
    const auto other = folder.path ("other.txt");
    const auto beside = LogFileAppender::besidePath (keptOpen);
    writeFile (other, "precious\r\n");

    auto logger = std::make_unique<ExtensionLog> (keptOpen, std::string(), 131072);
    logger->logMessage ("into the log");

    ASSERT_EQ (::unlink (keptOpen.c_str()), 0);
    ASSERT_EQ (::symlink (other.c_str(), keptOpen.c_str()), 0);
    ASSERT_EQ (::symlink (other.c_str(), beside.c_str()), 0);

    const auto standardError = standardErrorOf ([&]
                                                {
                                                    logger->logMessage ("nowhere safe");
                                                    logger->logMessage ("still nowhere");
                                                    logger.reset(); });

    EXPECT_EQ (standardError, "Log file not used: " + keptOpen + " is a symbolic link\r\nLog file not used: " + beside
                                  + " is a symbolic link\r\nnowhere safe\r\nstill nowhere\r\n");
    EXPECT_EQ (readFile (other), "precious\r\n");
}

namespace
{
// Standard error made the write end of a pipe for a while, with its writer started on it;
// the read end is the test's, read only when it says so.
class StandardErrorPipe
{
public:
    StandardErrorPipe()
    {
        int ends[2];
        EXPECT_EQ (::pipe (ends), 0);
        standard_error::stop();
        saved = ::dup (STDERR_FILENO);
        ::dup2 (ends[1], STDERR_FILENO);
        ::close (ends[1]);
        reader = ends[0];
        ::fcntl (reader, F_SETFL, O_NONBLOCK);
        standard_error::start();
    }

    ~StandardErrorPipe()
    {
        closeReader();
        EXPECT_TRUE (standard_error::waitUntilWritten (std::chrono::seconds (20)));
        standard_error::stop();
        ::dup2 (saved, STDERR_FILENO);
        ::close (saved);
    }

    int readEnd() const
    {
        return reader;
    }

    // What the pipe gives until it ends with `end`, for up to 20 s.
    std::string drainUntil (const std::string& end)
    {
        auto text = drain();

        for (int i = 0; i < 2000 && !endsWith (text, end); ++i)
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
            text += drain();
        }

        return text;
    }

    std::string drain()
    {
        std::string text;
        char buffer[4096];

        for (ssize_t got; reader >= 0 && (got = ::read (reader, buffer, sizeof (buffer))) > 0;)
            text.append (buffer, static_cast<std::size_t> (got));

        return text;
    }

    void closeReader()
    {
        if (reader >= 0)
            ::close (reader);

        reader = -1;
    }

private:
    int saved = -1;
    int reader = -1;
};
} // namespace

// Both files refused and standard error a pipe nobody reads: logging goes on at once, the
// lines neither the pipe nor the queue can take are lost and counted once it takes lines
// again, and a pipe whose reader has gone raises no SIGPIPE.
TEST_F (ExtensionLogTest, StandardErrorThatTakesNothingNeverHoldsTheCallerNorRaisesSigPipe)
{
    std::filesystem::create_directories (folder.path ("kept"));
    const auto other = folder.path ("other.txt");
    writeFile (other, "precious\r\n");
    ASSERT_EQ (::symlink (other.c_str(), keptOpen.c_str()), 0);
    ASSERT_EQ (::symlink (other.c_str(), LogFileAppender::besidePath (keptOpen).c_str()), 0);

    StandardErrorPipe standardError;
    auto logger = std::make_unique<ExtensionLog> (keptOpen, std::string(), 131072);
    constexpr int kLines = 6000; // about 300 KB, more than the pipe and the queue hold

    auto logging = std::async (std::launch::async,
                               [&]
                               {
                                   for (int i = 0; i < kLines; ++i)
                                       logger->logMessage (numberedLine (i) + std::string (30, '-'));
                               });
    const bool finished = logging.wait_for (std::chrono::seconds (20)) == std::future_status::ready;
    auto text = standardError.drain();

    // Held by a full pipe: read it out until the caller is free again, so the test can end.
    while (logging.wait_for (std::chrono::milliseconds (10)) != std::future_status::ready)
        text += standardError.drain();

    EXPECT_TRUE (finished) << "the caller waited for standard error";
    logger->logMessage ("read again");
    text += standardError.drainUntil ("read again\r\n");

    int written = 0;
    long long lost = -1;
    std::smatch number;
    const std::regex lostLine ("Log file could not be written: ([0-9]+) lines were lost");

    for (std::size_t from = 0, end; (end = text.find ("\r\n", from)) != std::string::npos; from = end + 2)
    {
        const auto line = text.substr (from, end - from);
        written += line.size() > 30 && numberOf (line.substr (0, line.size() - 30)) >= 0 ? 1 : 0;

        if (std::regex_match (line, number, lostLine))
            lost = std::stoll (number[1]);
    }

    EXPECT_GT (lost, 0);
    EXPECT_EQ (written + lost, kLines);
    EXPECT_TRUE (endsWith (text, "read again\r\n"));

    standardError.closeReader();
    logger->logMessage ("nobody reads");
    logger.reset();
    logging::writeToLog ("nobody reads either");
    EXPECT_EQ (readFile (other), "precious\r\n");
}

// A pipe full but for less than a line (room left in its last page): a line longer than
// PIPE_BUF goes in whole PIPE_BUF pieces, so none of it is in the pipe before a whole piece
// has room, where another writer's text could come in the middle of it.
TEST_F (ExtensionLogTest, StandardErrorIsWrittenInWholePipeBufPiecesToAPipeWithRoomForLessThanALine)
{
    StandardErrorPipe standardError;
    const std::string page (PIPE_BUF, '#');
    const auto pages = ::fcntl (standardError.readEnd(), F_GETPIPE_SZ) / PIPE_BUF;

    for (int i = 0; i < pages - 1; ++i)
        ASSERT_EQ (::write (STDERR_FILENO, page.data(), page.size()), PIPE_BUF);

    ASSERT_EQ (::write (STDERR_FILENO, page.data(), 100), 100);
    const auto line = numberedLine (1) + std::string (PIPE_BUF + 1000, '-');
    logging::writeToLog (line);

    std::this_thread::sleep_for (std::chrono::milliseconds (300));
    int inPipe = 0;
    ASSERT_EQ (::ioctl (standardError.readEnd(), FIONREAD, &inPipe), 0);
    EXPECT_EQ (inPipe, (pages - 1) * PIPE_BUF + 100) << "a piece of the line went into the room left";
    EXPECT_TRUE (standardError.drainUntil (line + "\n").substr (static_cast<std::size_t> (inPipe)) == line + "\n");
}

// The log's folder is used only when it is this user's own folder that nobody else may write
// in: a link to another folder, or another user's folder, is not written in at all, and the
// lines go to standard error saying why. This user's folder that others may write in is made
// this user's alone first, and says so; a missing folder is made so.
TEST_F (ExtensionLogTest, TheLogFolderIsUsedOnlyWhenItIsTheUsersOwn)
{
    const auto elsewhere = folder.path ("elsewhere");
    std::filesystem::create_directories (elsewhere);
    ::chmod (elsewhere.c_str(), 0777);
    const auto mask = ::umask (0);
    ::umask (mask);
    const mode_t made = 0755 & ~mask;

    const struct
    {
        const char* name;
        std::function<void (const std::string&)> plant;
        std::string reason; // empty: used
        mode_t modeThen;
    } cases[] = {
        {"a symbolic link to a folder anyone may write in", [&] (const std::string& at)
         { ASSERT_EQ (::symlink (elsewhere.c_str(), at.c_str()), 0); },
         "is a symbolic link", 0},
        {"writable by anyone", [] (const std::string& at)
         { ::mkdir (at.c_str(), 0700), ::chmod (at.c_str(), 0777); },
         "", 0755},
        {"writable by its group", [] (const std::string& at)
         { ::mkdir (at.c_str(), 0700), ::chmod (at.c_str(), 0770); },
         "", 0750},
        {"another user's", [] (const std::string& at)
         { ::mkdir (at.c_str(), 0755), (void) ::chown (at.c_str(), 65534, 65534); },
         ::geteuid() == 0 ? "is owned by another user" : "", made},
        {"another user's, of this user's group", [] (const std::string& at)
         { ::mkdir (at.c_str(), 0755), (void) ::chown (at.c_str(), 65534, ::getegid()); },
         ::geteuid() == 0 ? "is owned by another user" : "", made},
        {"this user's, and the log in it, of another group", [] (const std::string& at)
         { ::mkdir (at.c_str(), 0755), writeFile (at + "/Reaper.txt", ""), (void) ::chown (at.c_str(), ::geteuid(), 65534),
               (void) ::chown ((at + "/Reaper.txt").c_str(), ::geteuid(), 65534); },
         "", made},
        // REAPER run as root with another user's HOME: their folder would become root's.
        {"missing, in another user's folder", [] (const std::string& at)
         { (void) ::chown (std::filesystem::path (at).parent_path().c_str(), 65534, 65534); },
         ::geteuid() == 0 ? "is missing and would be made in " + folder.path ("missing, in another user's folder") + ", which is owned by another user" : "", made},
        {"missing, with the folder it is in", nullptr, "", made},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto logFolder = folder.path (c.name) + "/Belvanta";

        if (c.plant)
            std::filesystem::create_directories (folder.path (c.name));
        if (c.plant)
            c.plant (logFolder);

        const bool planted = std::filesystem::exists (logFolder);
        const auto standardError = standardErrorOf ([&]
                                                    { ExtensionLog (logFolder + "/Reaper.txt", std::string(), 131072).logMessage ("spotted"); });

        if (!c.reason.empty())
        {
            // One line says why, then the lines themselves; nothing is made.
            EXPECT_EQ (standardError.rfind ("Log file not used: " + logFolder + " " + c.reason, 0), 0u) << standardError;
            EXPECT_EQ (standardError.find ("\r\n"), standardError.find ("\r\nspotted\r\n")) << standardError;
            EXPECT_TRUE (endsWith (standardError, "spotted\r\n")) << standardError;
            EXPECT_TRUE (std::filesystem::is_empty (elsewhere));
            EXPECT_EQ (std::filesystem::exists (logFolder), planted);
            continue;
        }

        EXPECT_EQ (standardError, "");
        const auto log = readFile (logFolder + "/Reaper.txt");
        EXPECT_TRUE (endsWith (log, "spotted\r\n"));
        EXPECT_EQ (contains (log, "Log folder " + logFolder + " was writable by others: now only by its owner\r\n"),
                   std::string (c.name).rfind ("writable", 0) == 0);
        struct stat info;
        ASSERT_EQ (::lstat (logFolder.c_str(), &info), 0);
        EXPECT_EQ (info.st_mode & 0777, c.modeThen);
    }
}

// HOME is used only when it is an absolute path: a relative one would put the log under
// whatever folder REAPER was started in.
TEST (ExtensionLogPath, IsUnderTheUsersHomeWhateverHomeSays)
{
    const auto entryHome = []
    { testing_support::ScopedVariable unset ("HOME", std::nullopt); return log_location::path(); }();
    ASSERT_EQ (entryHome.front(), '/');

    for (const char* home : {"relhome", "", "./home"})
    {
        testing_support::ScopedVariable relative ("HOME", std::string (home));
        EXPECT_EQ (log_location::path(), entryHome) << home;
    }

    testing_support::ScopedVariable absolute ("HOME", std::string ("/home/someone"));
    EXPECT_EQ (log_location::path().rfind ("/home/someone/", 0), 0u);
}
