// What the log makes of a line: control characters escaped, runs of repeats counted.

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logging/LogLineEscaping.h"
#include "logging/RepeatedLineSummary.h"

namespace
{
std::string escaped (const std::string& text)
{
    std::string out;
    log_line::escape (text.c_str(), out);
    return out;
}

std::vector<std::string> feed (RepeatedLineSummary& summary, const std::vector<std::string>& lines)
{
    std::vector<std::string> written;

    for (const auto& line : lines)
        summary.add (line, written);

    return written;
}

std::vector<std::string> repeated (const std::vector<std::string>& cycle, int times)
{
    std::vector<std::string> lines;

    for (int i = 0; i < times; ++i)
        lines.insert (lines.end(), cycle.begin(), cycle.end());

    return lines;
}
} // namespace

TEST (LogLineEscaping, EveryControlCharacterIsEscapedAndNothingElseChanges)
{
    for (int byte = 1; byte < 0x20; ++byte)
    {
        const std::string expected = byte == '\n'   ? "\\n"
                                     : byte == '\r' ? "\\r"
                                     : byte == '\t' ? "\\t"
                                                    : [&]
        {
            char hex[8];
            std::snprintf (hex, sizeof (hex), "\\x%02X", byte);
            return std::string (hex);
        }();
        EXPECT_EQ (escaped ("a" + std::string (1, static_cast<char> (byte)) + "b"), "a" + expected + "b") << byte;
    }

    const struct
    {
        const char* text;
        const char* expected;
    } cases[] = {
        {"\x7F", "\\x7F"},
        {"\xC2\x80|\xC2\x85|\xC2\x9F", "\\u0080|\\u0085|\\u009F"},                                                          // C1 controls, NEL among them
        {"\xE2\x80\xA8|\xE2\x80\xA9", "\\u2028|\\u2029"},                                                                   // line and paragraph separators
        {"Spotting:/Sounds/caf\xC3\xA9 \xC2\xA0\xE2\x80\xA6.wav", "Spotting:/Sounds/caf\xC3\xA9 \xC2\xA0\xE2\x80\xA6.wav"}, // é, NBSP, …
        {"C:\\path\\n stays", "C:\\path\\n stays"},                                                                         // backslashes are copied
        {"\xC2", "\xC2"},                                                                                                   // a lone lead byte at the end
        {"", ""},
    };

    for (const auto& c : cases)
        EXPECT_EQ (escaped (c.text), c.expected) << c.text;
}

TEST (RepeatedLineSummary, RunsUpToTheThresholdAreWrittenInFull)
{
    RepeatedLineSummary summary (100);
    const auto lines = repeated ({"Info request"}, 101); // the line and 100 repeats
    EXPECT_EQ (feed (summary, lines), lines);
    EXPECT_FALSE (summary.holdsBack());

    // Lines that merely resemble each other are never counted.
    RepeatedLineSummary other (3);
    std::vector<std::string> distinct;

    for (int i = 0; i < 50; ++i)
        distinct.push_back ("Current Position:" + std::to_string (i));

    EXPECT_EQ (feed (other, distinct), distinct);
}

TEST (RepeatedLineSummary, ALongRunIsCountedAndSummarisedByTheNextDifferentLine)
{
    RepeatedLineSummary summary (100);
    auto lines = repeated ({"Unable to parse message"}, 50000);
    lines.push_back ("Info request");

    auto expected = repeated ({"Unable to parse message"}, 101);
    expected.push_back ("Unable to parse message (repeated 49,899 more times)");
    expected.push_back ("Info request");

    EXPECT_EQ (feed (summary, lines), expected);
    EXPECT_FALSE (summary.holdsBack());
}

TEST (RepeatedLineSummary, ACycleOfLinesIsCountedPerLineEvenWhenItEndsMidway)
{
    const std::vector<std::string> pair{"JUCE Assertion failure in RequestDispatcher.cpp:14", "Unable to parse message"};
    RepeatedLineSummary summary (3);
    auto lines = repeated (pair, 10);
    lines.push_back (pair[0]); // an eleventh cycle, cut short
    lines.push_back ("pipe created");

    auto expected = repeated (pair, 4);
    expected.push_back (pair[0] + " (repeated 7 more times)");
    expected.push_back (pair[1] + " (repeated 6 more times)");
    expected.push_back ("pipe created");

    EXPECT_EQ (feed (summary, lines), expected);
}

TEST (RepeatedLineSummary, AFlushMidRunWritesTheCountAndTheRunGoesOn)
{
    RepeatedLineSummary summary (2);
    EXPECT_EQ (feed (summary, repeated ({"x"}, 5)).size(), 3u);
    EXPECT_TRUE (summary.holdsBack());

    std::vector<std::string> flushed;
    summary.flush (flushed);
    EXPECT_EQ (flushed, (std::vector<std::string>{"x (repeated 2 more times)"}));
    EXPECT_FALSE (summary.holdsBack());

    // Still the same run: counted afresh, and the count is written once it ends.
    EXPECT_EQ (feed (summary, {"x", "y"}), (std::vector<std::string>{"x (repeated 1 more time)", "y"}));

    flushed.clear();
    summary.flush (flushed);
    EXPECT_TRUE (flushed.empty());
}
