// What the log makes of a line: control characters escaped, runs of repeats counted.

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utf8Text.h"
#include "logging/EscapedCodePoints.h"
#include "logging/ExtensionLog.h"
#include "logging/Log.h"
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
        {"\xE2\x80\xAE.wav|\xE2\x81\xA6|\xE2\x80\x8B|\xEF\xBB\xBF", "\\u202E.wav|\\u2066|\\u200B|\\uFEFF"},                 // right-to-left override, isolate, zero width space, BOM
        {"Spotting:/Sounds/caf\xC3\xA9 \xC2\xA0\xE2\x80\xA6.wav", "Spotting:/Sounds/caf\xC3\xA9 \xC2\xA0\xE2\x80\xA6.wav"}, // é, NBSP, …
        {"C:\\path\\n stays", "C:\\path\\n stays"},                                                                         // backslashes are copied
        {"\xC2", "\xC2"},                                                                                                   // a lone lead byte at the end
        {"", ""},
    };

    for (const auto& c : cases)
        EXPECT_EQ (escaped (c.text), c.expected) << c.text;
}

// The invisible format characters that can change how a line is shown are escaped; their
// neighbours are not.
TEST (LogLineEscaping, FormatCharactersAreEscapedAndTheirNeighboursKept)
{
    const auto isEscaped = [] (unsigned codePoint)
    {
        return (codePoint >= 0x200B && codePoint <= 0x200F) || (codePoint >= 0x2028 && codePoint <= 0x202E)
               || (codePoint >= 0x2060 && codePoint <= 0x206F) || codePoint == 0xFEFF;
    };

    for (unsigned codePoint = 0x2000; codePoint <= 0x2070 || codePoint == 0xFEFE || codePoint == 0xFEFF || codePoint == 0xFF00;
         codePoint = codePoint == 0x2070 ? 0xFEFE : codePoint + 1)
    {
        const std::string character{static_cast<char> (0xE0 | (codePoint >> 12)), static_cast<char> (0x80 | ((codePoint >> 6) & 0x3F)),
                                    static_cast<char> (0x80 | (codePoint & 0x3F))};
        char hex[8];
        std::snprintf (hex, sizeof (hex), "\\u%04X", codePoint);
        EXPECT_EQ (escaped ("a" + character + "b"), "a" + (isEscaped (codePoint) ? std::string (hex) : character) + "b") << hex;
    }
}

// Every format character and default ignorable code point of the Unicode Character Database
// is escaped, those above U+FFFF as \U and eight digits; their neighbours, and the tag
// block's ordinary neighbours, are not.
TEST (LogLineEscaping, EveryFormatAndDefaultIgnorableCodePointIsEscaped)
{
    const auto utf8 = [] (char32_t c)
    {
        std::string t;
        if (c < 0x800)
            t = {static_cast<char> (0xC0 | (c >> 6)), static_cast<char> (0x80 | (c & 0x3F))};
        else if (c < 0x10000)
            t = {static_cast<char> (0xE0 | (c >> 12)), static_cast<char> (0x80 | ((c >> 6) & 0x3F)), static_cast<char> (0x80 | (c & 0x3F))};
        else
            t = {static_cast<char> (0xF0 | (c >> 18)), static_cast<char> (0x80 | ((c >> 12) & 0x3F)),
                 static_cast<char> (0x80 | ((c >> 6) & 0x3F)), static_cast<char> (0x80 | (c & 0x3F))};
        return t;
    };
    const struct
    {
        char32_t first, last;
        bool escaped;
    } cases[] = {
        {0x061C, 0x061C, true},
        {0x00AD, 0x00AD, true},
        {0x034F, 0x034F, true},
        {0x115F, 0x1160, true},
        {0x180E, 0x180E, true},
        {0x2065, 0x206F, true},
        {0x3164, 0x3164, true},
        {0xFFA0, 0xFFA0, true},
        {0xFFF9, 0xFFFB, true},
        {0xFE00, 0xFE0F, true},
        {0x1D173, 0x1D17A, true},
        {0xE0000, 0xE0FFF, true},
        {0x00AC, 0x00AC, false},
        {0x00AE, 0x00AE, false},
        {0x034E, 0x034E, false},
        {0x1161, 0x1161, false},
        {0x2070, 0x2070, false},
        {0xFFA1, 0xFFA1, false},
        {0xFFFC, 0xFFFD, false},
        {0x1D172, 0x1D172, false},
        {0x1D17B, 0x1D17B, false},
        {0x1F600, 0x1F600, false},
        {0xDFFFF, 0xDFFFF, false},
        {0xE1000, 0xE1000, false},
    };

    for (const auto& c : cases)
        for (auto codePoint = c.first; codePoint <= c.last; ++codePoint)
        {
            char hex[16];
            std::snprintf (hex, sizeof (hex), codePoint > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned> (codePoint));
            EXPECT_EQ (escaped ("a" + utf8 (codePoint) + "b"), "a" + (c.escaped ? std::string (hex) : utf8 (codePoint)) + "b") << hex;
        }

    // The generated table is what the lookup needs: sorted, disjoint ranges.
    for (std::size_t i = 1; i < std::size (log_line::kEscapedCodePoints); ++i)
        EXPECT_LT (log_line::kEscapedCodePoints[i - 1].last + 1, log_line::kEscapedCodePoints[i].first) << i;
}

// A line longer than its bound is cut between two characters or escapes, never inside one,
// and says how many bytes of its escaped form were left out.
TEST (LogLineEscaping, ALongLineIsCutWithinItsBoundSayingHowMuchWasLeftOut)
{
    constexpr std::size_t bound = 200;
    const struct
    {
        const char* name;
        std::string text;
        std::size_t keptBytes; // of the escaped text; all of it when not cut
    } cases[] = {
        {"at the bound", std::string (bound, 'a'), bound},
        {"one byte over", std::string (bound + 1, 'a'), bound - 48},
        {"600 KB", std::string (600 * 1000, 'a'), bound - 48},
        {"two-byte characters", "a" + []
                                    { std::string t; for (int i = 0; i < 150; ++i) t += "\xC3\xA9"; return t; }(),
         151}, // 'a', 75 x 'é'
        {"escapes of four bytes", "a" + []
                                      { std::string t; for (int i = 0; i < 100; ++i) t += "\x01"; return t; }(),
         149},
        {"escapes of six bytes", "abc" + []
                                     { std::string t; for (int i = 0; i < 100; ++i) t += "\xE2\x80\xAE"; return t; }(),
         147},
        {"escapes, tags and stray bytes after the cut", std::string (bound, 'a') + []
                                                            { std::string t; for (int i = 0; i < 5000; ++i) t += "\n\x01\xE2\x80\xAE\xF3\xA0\x80\x81\xC3\xA9\xFF\x80z"; return t; }(),
         bound - 48},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto whole = escaped (c.text);
        std::string out;
        log_line::escape (c.text.c_str(), out, bound);

        EXPECT_LE (out.size(), bound);
        EXPECT_EQ (out, c.keptBytes == whole.size() ? whole : whole.substr (0, c.keptBytes) + log_line::leftOutNote (whole.size() - c.keptBytes));
    }

    EXPECT_EQ (log_line::leftOutNote (591926), " ... (591,926 bytes left out)");
}

// A line made from a request's text (logging::lineOf) is, byte for byte, the line the log
// makes of the whole text made UTF-8, cut or not.
TEST (LogLineEscaping, ALineMadeOfWhatItShowsIsTheLineOfTheWholeText)
{
    const std::string mixed = "\n\x01\xE2\x80\xAE\xF3\xA0\x80\x81\xC3\xA9\xFF\x80z\xEF\xBF\xBD\xE1\x80";
    std::string many;
    for (int i = 0; i < 4000; ++i)
        many += mixed;

    for (const auto& text : {mixed, std::string (1 << 20, '\xFF'), std::string (1 << 20, 'p'), many, std::string (8100, 'a') + many, std::string (9000, 'a') + "bc\td\x01" "efg\x7f" + std::string (20, 'h')})
    {
        const auto whole = escaped ("Spotting:" + utf8::sanitized (text));
        const auto line = logging::lineOf ("Spotting:", text.c_str());
        const auto kept = whole.size() <= ExtensionLog::kLongestMessage ? whole.size() : line.rfind (" ... (");
        EXPECT_EQ (line, kept == whole.size() ? whole : whole.substr (0, kept) + log_line::leftOutNote (whole.size() - kept)) << text.size();
    }
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

// A run that breaks starts the search for the next one afresh: the lines before the break
// do not count towards a new cycle.
TEST (RepeatedLineSummary, AfterARunBreaksTheNextCycleIsFoundFromTheBreakOn)
{
    RepeatedLineSummary summary (3);
    auto lines = repeated ({"x"}, 8);
    lines.push_back ("y");
    const auto pairs = repeated ({"x", "y"}, 5);
    lines.insert (lines.end(), pairs.begin(), pairs.end());
    lines.push_back ("z");

    // The pair is counted once it has come three times after the one before it.
    auto expected = repeated ({"x"}, 4);
    expected.push_back ("x (repeated 4 more times)");
    expected.push_back ("y");
    const auto written = repeated ({"x", "y"}, 4);
    expected.insert (expected.end(), written.begin(), written.end() - 1);
    expected.push_back ("y (repeated 2 more times)");
    expected.push_back ("x (repeated 1 more time)");
    expected.push_back ("z");

    EXPECT_EQ (feed (summary, lines), expected);
}
