// The log file the bridge keeps: trimmed to its last 131072 bytes from a line break when
// the bridge starts, then a banner.

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "LogFileLines.h"

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
