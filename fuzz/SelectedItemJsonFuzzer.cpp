// Writes the selected-item report for any file-name bytes, numbers and shape, and checks the
// text with an independent JSON parser: it is ASCII with CR LF line ends, parses, has the
// members in their order, carries every valid UTF-8 name back unchanged (up to its first
// NUL), and gives the numbers back to within the three decimals written.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include "requests/SelectedItemReport.h"

namespace
{
void check (bool condition)
{
    if (!condition)
        std::abort();
}

// Strict UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8 (const std::string& s)
{
    std::size_t i = 0;

    while (i < s.size())
    {
        const auto b = static_cast<unsigned char> (s[i]);
        int extra = 0;
        unsigned char low = 0x80, high = 0xBF;

        if (b < 0x80)
            extra = 0;
        else if (b >= 0xC2 && b <= 0xDF)
            extra = 1;
        else if (b >= 0xE0 && b <= 0xEF)
        {
            extra = 2;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        }
        else if (b >= 0xF0 && b <= 0xF4)
        {
            extra = 3;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        }
        else
            return false;

        if (s.size() - i <= static_cast<std::size_t> (extra))
            return false;

        for (int k = 1; k <= extra; ++k)
        {
            const auto c = static_cast<unsigned char> (s[i + static_cast<std::size_t> (k)]);

            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
                return false;
        }

        i += static_cast<std::size_t> (extra) + 1;
    }

    return true;
}

void checkNumber (const nlohmann::ordered_json& value, double x)
{
    if (!std::isfinite (x))
    {
        check (value.is_null());
        return;
    }

    check (value.is_number());
    const double parsed = value.get<double>();

    if (std::fabs (x) >= 1.0e15)
        check (parsed == x);
    else
        check (std::fabs (parsed - x) <= 0.0005 + std::fabs (x) * 1.0e-15);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input (data, size);

    SelectedItemReport report;
    report.shape = input.PickValueInArray ({SelectedItemReport::Shape::none,
                                            SelectedItemReport::Shape::emptyObject,
                                            SelectedItemReport::Shape::fullObject});
    report.start = input.ConsumeFloatingPoint<double>();
    report.len = input.ConsumeFloatingPoint<double>();
    report.pcmsr = input.ConsumeIntegral<int>();
    report.pcmlen = input.ConsumeFloatingPoint<double>();
    report.src = input.ConsumeRemainingBytesAsString();

    const auto text = writeSelectedItemJson (report);

    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto c = static_cast<unsigned char> (text[i]);

        if (c == '\r')
            check (i + 1 < text.size() && text[i + 1] == '\n');
        else if (c == '\n')
            check (i > 0 && text[i - 1] == '\r');
        else
            check (c >= 0x20 && c <= 0x7E);
    }

    const auto json = nlohmann::ordered_json::parse (text, nullptr, false);
    check (!json.is_discarded());

    switch (report.shape)
    {
        case SelectedItemReport::Shape::none:
            check (json.is_null());
            return 0;

        case SelectedItemReport::Shape::emptyObject:
            check (json.is_object() && json.empty());
            return 0;

        case SelectedItemReport::Shape::fullObject:
            break;
    }

    check (json.is_object() && json.size() == 5);

    const char* const keys[] = {"src", "start", "len", "pcmsr", "pcmlen"};
    int index = 0;

    for (const auto& member : json.items())
        check (member.key() == keys[index++]);

    check (json["src"].is_string());
    const std::string name (report.src.c_str());
    const auto src = json["src"].get<std::string>();

    if (isValidUtf8 (name))
        check (src == name);
    else
        check (isValidUtf8 (src) && src != name);

    checkNumber (json["start"], report.start);
    checkNumber (json["len"], report.len);
    checkNumber (json["pcmlen"], report.pcmlen);
    check (json["pcmsr"].is_number_integer() && json["pcmsr"].get<long long>() == report.pcmsr);
    return 0;
}
