#include <gtest/gtest.h>

#include "CommandTokens.h"

using namespace reaper_host;

TEST (CommandTokens, SplitsQuotesEscapesAndComments)
{
    struct Case
    {
        const char* line;
        std::vector<std::string> words;
    };

    const Case cases[] = {
        {"", {}},
        {"   # only a comment", {}},
        {"draw", {"draw"}},
        {"  cursor   10.5  ", {"cursor", "10.5"}},
        {"add-item 1 0 2 \"/s/door slam.wav\"", {"add-item", "1", "0", "2", "/s/door slam.wav"}},
        {"project-path '/a b/\"c\"'", {"project-path", "/a b/\"c\""}},
        {"echo a\\ b \"q\\\"\" # tail", {"echo", "a b", "q\""}},
        {"echo x#y", {"echo", "x#y"}},
        {"echo \"\"", {"echo", ""}},
        {"draw\r", {"draw"}},
    };

    for (const auto& c : cases)
    {
        std::vector<std::string> words;
        std::string error;
        EXPECT_TRUE (tokenizeCommand (c.line, words, error)) << c.line;
        EXPECT_EQ (words, c.words) << c.line;
    }

    std::vector<std::string> words;
    std::string error;
    EXPECT_FALSE (tokenizeCommand ("echo \"open", words, error));
    EXPECT_EQ (error, "unterminated \" quote");
}

TEST (CommandTokens, NumbersMustBeWholeAndFinite)
{
    double value = -1;
    EXPECT_TRUE (parseNumber ("2.5", value));
    EXPECT_EQ (value, 2.5);
    EXPECT_TRUE (parseNumber ("-1e3", value));
    EXPECT_EQ (value, -1000);

    for (const char* bad : {"", "1.5x", "nan", "inf", "1e999", " 1", "abc"})
        EXPECT_FALSE (parseNumber (bad, value)) << bad;

    int integer = 0;
    EXPECT_TRUE (parseInteger ("0x20E", integer));
    EXPECT_EQ (integer, 526);
    EXPECT_TRUE (parseInteger ("-3", integer));
    EXPECT_EQ (integer, -3);

    for (const char* bad : {"", "1.5", "3a", "99999999999", " 7"})
        EXPECT_FALSE (parseInteger (bad, integer)) << bad;
}
