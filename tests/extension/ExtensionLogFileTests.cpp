// The log file the bridge keeps: trimmed to its last 131072 bytes from a line break when
// the bridge starts, then a banner; bounded lines; cut in session, it still says when it
// started and whether the pipe is served.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AudioFileWriter.h"
#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "reaper.pb.h"

using testing_support::ExtensionHarness;

namespace
{
constexpr std::size_t kKeptAtStart = 131072;

// Numbered lines of varying length with the given line end, exactly `size` bytes long.
std::string earlierLog (std::size_t size, const std::string& lineEnd)
{
    std::string text;

    for (int n = 0; text.size() < size; ++n)
        text += "earlier line " + std::to_string (n) + std::string (static_cast<std::size_t> (n % 37), '.') + lineEnd;

    text.resize (size);
    return text;
}

void writeFile (const std::string& path, const std::string& text)
{
    std::filesystem::create_directories (std::filesystem::path (path).parent_path());
    std::ofstream (path, std::ios::binary) << text;
}

// What precedes the banner that the bridge appended.
std::string textBeforeBanner (const std::string& log)
{
    const auto banner = log.rfind ("\r\n" + std::string (58, '*'));
    return banner == std::string::npos ? log : log.substr (0, banner);
}

struct TrimCase
{
    const char* label;
    std::size_t size;
    const char* lineEnd;
};

class LogTrimTest : public ::testing::TestWithParam<TrimCase>
{
};
} // namespace

TEST_P (LogTrimTest, KeepsTheTailFromALineBreakWithinTheLast131072Bytes)
{
    ExtensionHarness harness;
    const auto before = earlierLog (GetParam().size, GetParam().lineEnd);
    writeFile (harness.home().logFilePath(), before);

    ASSERT_TRUE (harness.load().ok());
    const auto kept = textBeforeBanner (testing_support::readWholeFile (harness.home().logFilePath()));

    if (before.size() <= kKeptAtStart)
    {
        EXPECT_EQ (kept, before);
        return;
    }

    const auto tail = before.substr (before.size() - kKeptAtStart);
    const auto firstBreak = tail.find_first_of ("\r\n");
    ASSERT_NE (firstBreak, std::string::npos);

    EXPECT_LE (kept.size(), kKeptAtStart);
    EXPECT_TRUE (kept[0] == '\r' || kept[0] == '\n');
    EXPECT_EQ (kept, tail.substr (firstBreak));
}

INSTANTIATE_TEST_SUITE_P (Sizes,
                          LogTrimTest,
                          ::testing::Values (TrimCase{"LargeWithCrLf", 200000, "\r\n"},
                                             TrimCase{"LargeWithLf", 200000, "\n"},
                                             TrimCase{"OneByteTooLarge", kKeptAtStart + 1, "\r\n"},
                                             TrimCase{"ExactlyTheLimit", kKeptAtStart, "\r\n"},
                                             TrimCase{"Small", 1000, "\r\n"}),
                          [] (const auto& info)
                          { return std::string (info.param.label); });

TEST (LogFileTest, AFileWithoutALineBreakInItsTailIsLeftWhole)
{
    ExtensionHarness harness;
    const std::string before = "head\r\n" + std::string (200000, 'x');
    writeFile (harness.home().logFilePath(), before);

    ASSERT_TRUE (harness.load().ok());
    EXPECT_EQ (textBeforeBanner (testing_support::readWholeFile (harness.home().logFilePath())), before);
}

TEST (LogFileTest, EveryLineEndsWithCrLf)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());
    ASSERT_TRUE (harness.request (std::string ("\x08\x03", 2)).has_value());
    ASSERT_EQ (harness.unload(), 0);

    const auto log = testing_support::readWholeFile (harness.home().logFilePath());
    ASSERT_FALSE (log.empty());
    EXPECT_EQ (log.substr (log.size() - 2), "\r\n");

    for (std::size_t i = 0; i < log.size(); ++i)
    {
        if (log[i] == '\n')
        {
            ASSERT_TRUE (i > 0 && log[i - 1] == '\r') << "a bare LF at byte " << i;
        }

        if (log[i] == '\r')
        {
            ASSERT_TRUE (i + 1 < log.size() && log[i + 1] == '\n') << "a bare CR at byte " << i;
        }
    }
}

namespace
{
std::string spotRequest (const std::string& path)
{
    BVReaper::ClientMessage request;
    request.set_type (BVReaper::ClientMessage::SPOT_COMMAND);
    request.mutable_spot()->set_file_path (path);
    std::string bytes;
    request.SerializeToString (&bytes);
    return bytes;
}

// Sends the spots a hundred at a time, reading the replies of each hundred; how many were
// answered.
int spotAll (ExtensionHarness& harness, const std::vector<std::string>& paths)
{
    int answered = 0;

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open (testing_support::ExtensionHarness::pipeName, 3000));

                           for (std::size_t first = 0; first < paths.size(); first += 100)
                           {
                               const auto end = std::min (paths.size(), first + 100);

                               for (auto i = first; i < end; ++i)
                                   ASSERT_TRUE (client.send (spotRequest (paths[i]), 3000));

                               for (auto i = first; i < end; ++i)
                                   answered += client.receive (3000) ? 1 : 0;
                           } });

    return answered;
}

std::size_t longestLine (const std::vector<std::string>& lines)
{
    std::size_t longest = 0;

    for (const auto& line : lines)
        longest = std::max (longest, line.size());

    return longest;
}

// The size of the log and its first two lines that are not empty, for the figures.
void printLogFigures (const char* after, const std::string& log)
{
    const auto lines = testing_support::readLogLines (log);
    std::vector<std::string> firstLines;

    for (const auto& line : lines)
        if (!line.empty() && firstLines.size() < 2)
            firstLines.push_back (line.substr (0, 100));

    std::printf ("figures: after %s the log is %lld bytes; its first lines: \"%s\" / \"%s\"; longest line %zu bytes\n", after,
                 static_cast<long long> (std::filesystem::file_size (log)), firstLines.size() > 0 ? firstLines[0].c_str() : "",
                 firstLines.size() > 1 ? firstLines[1].c_str() : "", longestLine (lines));
}

const std::regex kHeadLine ("Log started [0-9]{1,2} [A-Z][a-z]{2} [0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}[ap]m in process [0-9]+, trimmed since; pipe served");
} // namespace

// A path of 60 KB is logged cut to 8 KiB, saying how much was left out, so the next trim
// still has lines to keep; and however many spots follow, a log cut in session begins by
// saying when it started and that the pipe is served.
TEST (LogFileTest, ALongLineAndThousandsOfSpotsLeaveTheLogItsStart)
{
    ExtensionHarness harness;
    ASSERT_TRUE (harness.load().ok());
    const auto log = harness.home().logFilePath();

    const std::string longPath = "/missing/" + std::string (60 * 1000, 'p') + ".wav";
    ASSERT_EQ (spotAll (harness, {longPath}), 1);
    printLogFigures ("one spot of a 60 KB path", log);

    auto lines = testing_support::readLogLines (log);
    EXPECT_LE (longestLine (lines), 8192u);
    EXPECT_EQ (testing_support::bannerCount (lines), 1);
    EXPECT_EQ (testing_support::countOf (lines, "pipe created"), 1);
    const auto spotting = std::find_if (lines.begin(), lines.end(), [] (const std::string& line)
                                        { return line.rfind ("Spotting:/missing/ppp", 0) == 0; });
    ASSERT_NE (spotting, lines.end());

    // Cut to leave room for a repeat count and for the note: 8096 bytes of its 60,022 kept.
    EXPECT_EQ (*spotting, "Spotting:/missing/" + std::string (8096 - 18, 'p') + " ... (51,926 bytes left out)");

    // Ordinary spots of a sound, until the log has been cut in session more than once.
    std::filesystem::create_directories (harness.home().file ("Sound Library/Foley/Doors and Windows/Interior"));
    const auto sound = harness.home().file ("Sound Library/Foley/Doors and Windows/Interior/Door Slam Wooden Heavy Close 01.wav");
    ASSERT_TRUE (reaper_host::writeAudioFile (sound, reaper_host::AudioFileFormat::wav16, 48000, 1, 4800));
    ASSERT_EQ (spotAll (harness, std::vector<std::string> (5000, sound)), 5000);
    printLogFigures ("5,000 spots more", log);

    lines = testing_support::readLogLines (log);
    ASSERT_FALSE (lines.empty());
    EXPECT_TRUE (std::regex_match (lines[0], kHeadLine)) << lines[0];
    EXPECT_EQ (testing_support::countOf (lines, "Log trimmed to its last 131072 bytes"), 1);
    EXPECT_LE (std::filesystem::file_size (log), 131072u + 1024 * 1024);
    EXPECT_GT (std::filesystem::file_size (log), 131072u - 8192);
}

// A pipe or a lock file that cannot be made at load shows as a failed check: the assertion
// line, then the reason.
TEST (LogFileTest, APipeOrLockRefusedAtLoadIsAnAssertionLineBeforeItsReason)
{
    const struct
    {
        const char* at;
        const char* reason;
    } cases[] = {
        {"/tmp/bv_reaper.lock", "is a directory"},
        {"/tmp/bv_reaper_in", "exists and is not a FIFO"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.at);
        ExtensionHarness harness;
        ASSERT_EQ (::mkdir (c.at, 0700), 0);
        const bool loaded = harness.load().ok();
        harness.unload();
        ::rmdir (c.at);
        ASSERT_TRUE (loaded);

        const auto lines = testing_support::messageLines (harness.logLines());
        const auto refusal = std::find (lines.begin(), lines.end(), std::string ("Pipe not created: ") + c.at + " " + c.reason);
        ASSERT_NE (refusal, lines.end()) << testing_support::readWholeFile (harness.home().logFilePath());
        ASSERT_NE (refusal, lines.begin());
        EXPECT_TRUE (testing_support::isAssertionLine (*(refusal - 1))) << *(refusal - 1);
        EXPECT_EQ (testing_support::countOf (lines, "pipe created"), 0);
    }
}
