#include "requests/JsonTextWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Utf8Text.h"

namespace json_text
{
namespace
{
void appendUnicodeEscape (std::string& out, char32_t codeUnit)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    out += "\\u";

    for (int shift = 12; shift >= 0; shift -= 4)
        out += hexDigits[(codeUnit >> shift) & 0xF];
}

void appendCodePoint (std::string& out, char32_t c)
{
    switch (c)
    {
        case U'"':
            out += "\\\"";
            return;
        case U'\\':
            out += "\\\\";
            return;
        case U'\b':
            out += "\\b";
            return;
        case U'\t':
            out += "\\t";
            return;
        case U'\n':
            out += "\\n";
            return;
        case U'\f':
            out += "\\f";
            return;
        case U'\r':
            out += "\\r";
            return;
        default:
            break;
    }

    if (c >= 0x20 && c <= 0x7E)
    {
        out += static_cast<char> (c);
    }
    else if (c > 0xFFFF)
    {
        const auto offset = c - 0x10000;
        appendUnicodeEscape (out, 0xD800 + (offset >> 10));
        appendUnicodeEscape (out, 0xDC00 + (offset & 0x3FF));
    }
    else
    {
        appendUnicodeEscape (out, c);
    }
}

// Decimal digits of a non-negative, integer-valued, finite double, exactly.
std::string exactIntegerDigits (double value)
{
    if (value < 18446744073709551616.0) // 2^64
        return std::to_string (static_cast<std::uint64_t> (value));

    // value = mantissa * 2^exponent with a 53-bit integer mantissa and exponent > 0:
    // write the mantissa, then double the decimal digits exponent times.
    int binaryExponent = 0;
    const double fraction = std::frexp (value, &binaryExponent);
    const auto mantissa = static_cast<std::uint64_t> (std::ldexp (fraction, 53));
    const int doublings = binaryExponent - 53;

    std::string digits = std::to_string (mantissa); // most significant digit first
    std::reverse (digits.begin(), digits.end());

    for (int i = 0; i < doublings; ++i)
    {
        int carry = 0;

        for (auto& d : digits)
        {
            const int doubled = (d - '0') * 2 + carry;
            d = static_cast<char> ('0' + doubled % 10);
            carry = doubled / 10;
        }

        if (carry != 0)
            digits += static_cast<char> ('0' + carry);
    }

    std::reverse (digits.begin(), digits.end());
    return digits;
}

std::string thousandthsAsDecimal (std::uint64_t thousandths)
{
    auto digits = std::to_string (thousandths);

    if (digits.size() < 4)
        digits.insert (0, 4 - digits.size(), '0');

    digits.insert (digits.size() - 3, 1, '.');
    return digits;
}
} // namespace

std::string quotedString (const std::string& bytes)
{
    std::string out = "\"";

    for (auto c : utf8::decode (bytes.data(), bytes.size()))
        appendCodePoint (out, c);

    out += '"';
    return out;
}

std::string threeDecimals (double x)
{
    if (!std::isfinite (x))
        return "null";

    const std::string sign = x < 0.0 ? "-" : "";
    const double magnitude = std::fabs (x);

    if (magnitude < 1.0e15)
    {
        // 1000 * 10^15 is well inside the range of a 64-bit integer. Two statements, so
        // that no compiler fuses them into one differently rounded multiply-add.
        const double product = 1000.0 * magnitude;
        const double scaled = product + 0.5;
        return sign + thousandthsAsDecimal (static_cast<std::uint64_t> (scaled));
    }

    // From 10^15 on, a double's spacing is at least 1/8, so its fraction is a multiple
    // of 0.125 and three decimals hold it exactly; no rounding is needed.
    const double integerPart = std::floor (magnitude);
    const auto thousandths = static_cast<int> ((magnitude - integerPart) * 1000.0);
    const auto fractionDigits = std::to_string (1000 + thousandths).substr (1);

    return sign + exactIntegerDigits (integerPart) + "." + fractionDigits;
}

std::string integer (int n)
{
    return std::to_string (n);
}
} // namespace json_text
