#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "WorkedExampleJson.h"
#include "requests/JsonTextWriter.h"
#include "requests/SelectedItemReport.h"

using namespace json_text;

TEST (JsonTextWriter, ThreeDecimalsFollowsTheRoundingRule)
{
    const struct
    {
        double value;
        const char* text;
    } cases[] = {
        {4.0, "4.000"},
        {1.25, "1.250"},
        {0.5, "0.500"},
        {-2.5, "-2.500"},
        {-0.25, "-0.250"},
        {2.0 / 3.0, "0.667"},
        {12.48, "12.480"},
        {0.0, "0.000"},
        {-0.0, "0.000"},
        {-0.0001, "-0.000"},
        {-0.0004999, "-0.000"},
        {-0.0005, "-0.001"},
        {0.0005, "0.001"},
        {0.0004999, "0.000"},
        {0.001, "0.001"},
        {0.0015, "0.002"}, // 1.5 in double is exact after scaling: half rounds up
        {1.0005, "1.001"}, // 1000 x 1.0005 rounds up to 1000.5 in double
        {4.0005, "4.000"}, // ... and this one down to 4000.4999999999995
        {123456.789, "123456.789"},
    };

    for (const auto& c : cases)
        EXPECT_EQ (threeDecimals (c.value), c.text) << c.value;
}

TEST (JsonTextWriter, LargeMagnitudesAreWrittenExactly)
{
    EXPECT_EQ (threeDecimals (1.0e15), "1000000000000000.000");
    EXPECT_EQ (threeDecimals (1.0e15 + 0.125), "1000000000000000.125");
    EXPECT_EQ (threeDecimals (-(1.0e15 + 0.875)), "-1000000000000000.875");
    EXPECT_EQ (threeDecimals (std::ldexp (1.0, 70)), "1180591620717411303424.000");
    EXPECT_EQ (threeDecimals (1.0e20), "100000000000000000000.000");

    // Just below the switch the rounding rule still applies, without overflow.
    EXPECT_EQ (threeDecimals (999999999999.999), "999999999999.999");

    const auto maxText = threeDecimals (std::numeric_limits<double>::max());
    EXPECT_EQ (maxText.size(), 309u + 4u);
    EXPECT_EQ (maxText.substr (0, 20), "17976931348623157081");
    EXPECT_EQ (std::stod (maxText), std::numeric_limits<double>::max());
}

TEST (JsonTextWriter, NonFiniteNumbersBecomeNull)
{
    EXPECT_EQ (threeDecimals (std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ (threeDecimals (std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ (threeDecimals (-std::numeric_limits<double>::infinity()), "null");
}

TEST (JsonTextWriter, IntegersInDecimal)
{
    EXPECT_EQ (integer (0), "0");
    EXPECT_EQ (integer (48000), "48000");
    EXPECT_EQ (integer (-7), "-7");
    EXPECT_EQ (integer (std::numeric_limits<int>::min()), "-2147483648");
}

TEST (JsonTextWriter, StringEscapes)
{
    const struct
    {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"/Sounds/door slam.wav", "\"/Sounds/door slam.wav\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
        {"\x07", "\"\\u0007\""},
        {"\x1f\x7f", "\"\\u001f\\u007f\""},
        {" ~", "\" ~\""},
        {"caf\xC3\xA9", "\"caf\\u00e9\""},
        {"\xE2\x82\xAC", "\"\\u20ac\""},
        {"\xF0\x9F\x8E\xB5", "\"\\ud83c\\udfb5\""},
        {"\xF4\x8F\xBF\xBF", "\"\\udbff\\udfff\""},
        {"", "\"\""},
        {std::string ("ab\0cd", 5), "\"ab\""},
        // Not UTF-8: stray continuation, truncated sequence, overlong, surrogate, too large.
        {"a\x80z", "\"a\\ufffdz\""},
        {"a\xE2\x82", "\"a\\ufffd\\ufffd\""},
        {"\xC0\xAF", "\"\\ufffd\\ufffd\""},
        {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
        {"\xF5\x80\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"\xFF", "\"\\ufffd\""},
    };

    for (const auto& c : cases)
        EXPECT_EQ (quotedString (c.bytes), c.text) << testing::PrintToString (c.bytes);
}

TEST (SelectedItemJson, ShapesAreByteExact)
{
    SelectedItemReport report;
    EXPECT_EQ (writeSelectedItemJson (report), "null");

    report.shape = SelectedItemReport::Shape::emptyObject;
    EXPECT_EQ (writeSelectedItemJson (report), "{\r\n}");

    report.shape = SelectedItemReport::Shape::fullObject;
    report.src = "/Sounds/door slam.wav";
    report.start = 1.25;
    report.len = 4.0;
    report.pcmsr = 48000;
    report.pcmlen = 12.48;
    EXPECT_EQ (writeSelectedItemJson (report),
               kWorkedExampleJson);
}

// Whatever REAPER reports, the text must stay JSON that an independent parser reads back
// to the same values.
TEST (SelectedItemJson, ArbitraryReportsParseAsJson)
{
    std::mt19937 random (20240611);
    std::uniform_int_distribution<int> byteDist (0, 255);
    std::uniform_int_distribution<int> lengthDist (0, 40);
    std::uniform_int_distribution<int> kindDist (0, 9);
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -0.0, 1e300, -1e-300, 5e15 + 0.5};

    auto randomDouble = [&]
    {
        const int kind = kindDist (random);
        if (kind == 0)
            return specials[static_cast<size_t> (byteDist (random)) % std::size (specials)];
        std::uniform_real_distribution<double> d (-1e6, 1e6);
        return d (random);
    };

    for (int round = 0; round < 2000; ++round)
    {
        // Even rounds: well-formed UTF-8 rich in characters that need escaping, which must
        // read back unchanged. Odd rounds: also raw bytes, which must still give valid JSON.
        const bool rawBytes = round % 2 == 1;
        SelectedItemReport report;
        report.shape = SelectedItemReport::Shape::fullObject;

        const int length = lengthDist (random);
        for (int i = 0; i < length; ++i)
        {
            const int kind = kindDist (random);
            if (kind < 2 && rawBytes)
                report.src += static_cast<char> (byteDist (random));
            else if (kind < 4)
                report.src += "\"\\/\t\x01\x7f\b"[static_cast<size_t> (byteDist (random)) % 7];
            else if (kind < 6)
                report.src += (kind == 4 ? "\xC3\xA9" : "\xF0\x9F\x8E\xB5");
            else
                report.src += static_cast<char> ('a' + byteDist (random) % 26);
        }

        report.start = randomDouble();
        report.len = randomDouble();
        report.pcmsr = static_cast<int> (random());
        report.pcmlen = randomDouble();

        const auto text = writeSelectedItemJson (report);

        for (unsigned char c : text)
            ASSERT_LT (c, 0x80) << text;

        nlohmann::ordered_json parsed;
        ASSERT_NO_THROW (parsed = nlohmann::ordered_json::parse (text)) << text;
        ASSERT_TRUE (parsed.is_object());

        std::vector<std::string> keys;
        for (auto it = parsed.begin(); it != parsed.end(); ++it)
            keys.push_back (it.key());
        EXPECT_EQ (keys, (std::vector<std::string>{"src", "start", "len", "pcmsr", "pcmlen"}));

        ASSERT_TRUE (parsed["src"].is_string());
        if (!rawBytes)
        {
            EXPECT_EQ (parsed["src"].get<std::string>(), report.src);
        }

        EXPECT_EQ (parsed["pcmsr"].get<int>(), report.pcmsr);

        const auto checkNumber = [&] (const char* key, double value)
        {
            if (!std::isfinite (value))
            {
                EXPECT_TRUE (parsed[key].is_null()) << key << " " << text;
                return;
            }
            ASSERT_TRUE (parsed[key].is_number()) << key << " " << text;
            EXPECT_NEAR (parsed[key].get<double>(), value, 0.0005 + std::fabs (value) * 1e-15) << key << " " << text;
        };
        checkNumber ("start", report.start);
        checkNumber ("len", report.len);
        checkNumber ("pcmlen", report.pcmlen);
    }
}
