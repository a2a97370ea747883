#include "logging/LogLineEscaping.h"

#include <cstdio>

#include "logging/ThousandsSeparators.h"

namespace log_line
{
namespace
{
// The longest note: " ... (18,446,744,073,709,551,615 bytes left out)".
constexpr std::size_t kLongestNote = 48;

void appendHex (std::string& out, const char* prefix, unsigned value, int digits)
{
    char text[12];
    std::snprintf (text, sizeof (text), "%s%0*X", prefix, digits, value);
    out += text;
}

bool inRange (unsigned char byte, unsigned char first, unsigned char last)
{
    return byte >= first && byte <= last;
}

// The length of the multi-byte character at `bytes` that must be escaped, with its code
// point; 0 when it is kept. Reads no further than a NUL.
int escapedSequence (const unsigned char* bytes, unsigned& codePoint)
{
    // U+0080..U+009F: C2 80..C2 9F.
    if (bytes[0] == 0xC2 && inRange (bytes[1], 0x80, 0x9F))
    {
        codePoint = bytes[1];
        return 2;
    }

    // U+200B..U+200F, U+2028..U+202E: E2 80 8B..8F, E2 80 A8..AE.
    // U+2060..U+2064, U+2066..U+2069: E2 81 A0..A4, E2 81 A6..A9.
    if (bytes[0] == 0xE2 && (bytes[1] == 0x80 || bytes[1] == 0x81))
    {
        const auto last = bytes[2];
        const bool escaped = bytes[1] == 0x80 ? inRange (last, 0x8B, 0x8F) || inRange (last, 0xA8, 0xAE)
                                              : inRange (last, 0xA0, 0xA4) || inRange (last, 0xA6, 0xA9);

        if (escaped)
        {
            codePoint = 0x2000u + ((bytes[1] - 0x80u) << 6) + (last - 0x80u);
            return 3;
        }
    }

    // U+FEFF: EF BB BF.
    if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    {
        codePoint = 0xFEFF;
        return 3;
    }

    return 0;
}

bool isContinuationByte (unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}
} // namespace

std::string leftOutNote (std::size_t bytesLeftOut)
{
    return " ... (" + withThousandsSeparators (static_cast<long long> (bytesLeftOut)) + " bytes left out)";
}

void escape (const char* utf8, std::string& out, std::size_t maxBytes)
{
    out.clear();

    // Where a cut line may end: the last point between two characters (or escapes) that
    // leaves room for the note. Once the text is past maxBytes, only its length is counted.
    const std::size_t cutLimit = maxBytes > kLongestNote ? maxBytes - kLongestNote : 0;
    std::size_t cutAt = 0;
    std::size_t length = 0;
    std::string unit;

    for (auto* bytes = reinterpret_cast<const unsigned char*> (utf8); *bytes != 0;)
    {
        const auto byte = *bytes;
        unsigned codePoint = 0;
        int consumed = 1;
        unit.clear();

        if (byte == '\n')
            unit = "\\n";
        else if (byte == '\r')
            unit = "\\r";
        else if (byte == '\t')
            unit = "\\t";
        else if (byte < 0x20 || byte == 0x7F)
            appendHex (unit, "\\x", byte, 2);
        else if (const auto sequence = escapedSequence (bytes, codePoint); sequence > 0)
        {
            appendHex (unit, "\\u", codePoint, 4);
            consumed = sequence;
        }

        // A byte copied as it is is a point to cut at unless it continues a character.
        if (length <= cutLimit && !(unit.empty() && isContinuationByte (byte)))
            cutAt = length;

        if (unit.empty())
        {
            if (out.size() <= maxBytes)
                out += static_cast<char> (byte);

            ++length;
        }
        else
        {
            if (out.size() <= maxBytes)
                out += unit;

            length += unit.size();
        }

        bytes += consumed;
    }

    if (length <= maxBytes)
        return;

    out.resize (cutAt);
    out += leftOutNote (length - cutAt);
}
} // namespace log_line
