#include "logging/LogLineEscaping.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "Utf8Text.h"
#include "logging/EscapedCodePoints.h"
#include "logging/ThousandsSeparators.h"

namespace log_line
{
namespace
{
// The longest note: " ... (18,446,744,073,709,551,615 bytes left out)".
constexpr std::size_t kLongestNote = 48;

// The longest escape: "\U000E0001".
constexpr std::size_t kLongestEscape = 10;

// U+FFFD in UTF-8.
constexpr char kReplacement[3] = {'\xEF', '\xBF', '\xBD'};

// The table's code points up to U+FFFF as one bit each (8 KiB), so that text in any script
// is checked with one look; the few above are searched for in the table.
struct BasicPlaneBits
{
    std::uint64_t words[0x10000 / 64];
};

constexpr BasicPlaneBits basicPlaneBits()
{
    BasicPlaneBits bits{};

    for (const auto& range : kEscapedCodePoints)
        for (auto codePoint = range.first; codePoint <= range.last && codePoint <= 0xFFFF; ++codePoint)
            bits.words[codePoint / 64] |= std::uint64_t{1} << (codePoint % 64);

    return bits;
}

constexpr BasicPlaneBits kBasicPlane = basicPlaneBits();

bool isEscapedCodePoint (char32_t codePoint)
{
    if (codePoint <= 0xFFFF)
        return (kBasicPlane.words[codePoint / 64] >> (codePoint % 64)) & 1;

    const auto after = std::upper_bound (std::begin (kEscapedCodePoints), std::end (kEscapedCodePoints), codePoint,
                                         [] (char32_t value, const CodePointRange& range)
                                         { return value < range.first; });
    return after != std::begin (kEscapedCodePoints) && codePoint <= std::prev (after)->last;
}

std::size_t writeHex (char* out, const char* prefix, char32_t value, int digits)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    const auto prefixLength = std::strlen (prefix);
    std::memcpy (out, prefix, prefixLength);

    for (int at = digits - 1; at >= 0; --at, value >>= 4)
        out[prefixLength + static_cast<std::size_t> (at)] = hexDigits[value & 0xF];

    return prefixLength + static_cast<std::size_t> (digits);
}

// How the text at `bytes` (left > 0 bytes) begins: `consumed` bytes of it become `length`
// bytes of the line, either copied as they are (escapeLength 0) or as the escape written to
// `escape`. `cutBefore` tells whether a cut line may end just before it: not inside a
// character, so not before a continuation byte copied as it is.
struct Unit
{
    std::size_t consumed = 1;
    std::size_t length = 1;
    std::size_t escapeLength = 0;
    bool cutBefore = true;
};

Unit unitAt (const unsigned char* bytes, std::size_t left, char* escape, Malformed malformed)
{
    Unit unit;
    const auto byte = bytes[0];

    if (byte >= 0x20 && byte < 0x7F)
        return unit;

    if (byte < 0x80)
    {
        if (byte == '\n' || byte == '\r' || byte == '\t')
        {
            escape[0] = '\\';
            escape[1] = byte == '\n' ? 'n' : byte == '\r' ? 'r'
                                                          : 't';
            unit.escapeLength = 2;
        }
        else
        {
            unit.escapeLength = writeHex (escape, "\\x", byte, 2);
        }

        unit.length = unit.escapeLength;
        return unit;
    }

    char32_t codePoint = 0;
    const auto sequence = utf8::wellFormedLength (bytes, left, codePoint);

    if (sequence == 0 && malformed == Malformed::replaced)
    {
        // Not UTF-8: U+FFFD, which is not escaped.
        std::memcpy (escape, kReplacement, sizeof (kReplacement));
        unit.escapeLength = unit.length = sizeof (kReplacement);
        return unit;
    }

    if (sequence == 0)
    {
        // Not UTF-8: copied byte by byte, as it came.
        unit.cutBefore = (byte & 0xC0) != 0x80;
        return unit;
    }

    unit.consumed = sequence;

    if (!isEscapedCodePoint (codePoint))
    {
        unit.length = sequence;
        return unit;
    }

    unit.escapeLength = codePoint > 0xFFFF ? writeHex (escape, "\\U", codePoint, 8) : writeHex (escape, "\\u", codePoint, 4);
    unit.length = unit.escapeLength;
    return unit;
}

// A byte that is not ASCII and cannot begin a well-formed sequence.
bool startsNoSequence (unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xC2) || byte >= 0xF5;
}

// The length of the run of printable ASCII at `bytes` (its first byte is one), eight bytes at
// a time: a word is all printable when no byte is below 0x20 and none is 0x7F or above.
std::size_t printableAsciiRun (const unsigned char* bytes, std::size_t left)
{
    constexpr std::uint64_t ones = 0x0101010101010101u;
    constexpr std::uint64_t highBits = 0x8080808080808080u;
    std::size_t run = 0;
    std::uint64_t word = 0;

    while (run + sizeof (word) <= left)
    {
        std::memcpy (&word, bytes + run, sizeof (word));

        if ((((word - 0x20 * ones) | (word + ones)) | word) & highBits)
            break;

        run += sizeof (word);
    }

    while (run < left && bytes[run] >= 0x20 && bytes[run] < 0x7F)
        ++run;

    return run;
}

// The escaped length of the text from `bytes` on, without writing it: printable ASCII, by far
// the most of any real text, is counted without a look at the table.
std::size_t escapedLength (const unsigned char* bytes, std::size_t left, Malformed malformed)
{
    std::size_t length = 0;
    char escape[kLongestEscape];

    while (left > 0)
    {
        const auto lead = *bytes;

        if (lead >= 0x20 && lead < 0x7F)
        {
            const auto run = printableAsciiRun (bytes, left);
            length += run, bytes += run, left -= run;
            continue;
        }

        // U+FFFD, which every byte that is not UTF-8 has become in a request's text.
        if (lead == 0xEF && left >= 3 && bytes[1] == 0xBF && bytes[2] == 0xBD)
        {
            static const std::string eight = []
            {
                std::string t;
                for (int i = 0; i < 8; ++i)
                    t.append (kReplacement, sizeof (kReplacement));
                return t;
            }();
            std::size_t run = 3;

            while (run + eight.size() <= left && std::memcmp (bytes + run, eight.data(), eight.size()) == 0)
                run += eight.size();

            while (run + 3 <= left && bytes[run] == 0xEF && bytes[run + 1] == 0xBF && bytes[run + 2] == 0xBD)
                run += 3;

            length += run, bytes += run, left -= run;
            continue;
        }

        // Bytes that start no sequence, each replaced by U+FFFD.
        if (malformed == Malformed::replaced && startsNoSequence (lead))
        {
            std::size_t run = 1;

            while (run < left && startsNoSequence (bytes[run]))
                ++run;

            length += run * sizeof (kReplacement), bytes += run, left -= run;
            continue;
        }

        // Two- and three-byte characters whose lead byte allows no overlong form and no
        // surrogate (C2..DF, E1..EC, EE, EF: most of the world's scripts, and U+FFFD) are
        // decoded here; anything else as unitAt does.
        const bool twoBytes = lead >= 0xC2 && lead <= 0xDF;
        const bool threeBytes = (lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF;

        if ((twoBytes && left >= 2 && (bytes[1] & 0xC0) == 0x80)
            || (threeBytes && left >= 3 && (bytes[1] & 0xC0) == 0x80 && (bytes[2] & 0xC0) == 0x80))
        {
            const auto codePoint = twoBytes ? (static_cast<char32_t> (lead & 0x1F) << 6) | (bytes[1] & 0x3Fu)
                                            : (static_cast<char32_t> (lead & 0x0F) << 12) | ((bytes[1] & 0x3Fu) << 6) | (bytes[2] & 0x3Fu);
            const std::size_t size = twoBytes ? 2 : 3;
            length += isEscapedCodePoint (codePoint) ? 6 : size;
            bytes += size;
            left -= size;
            continue;
        }

        const auto unit = unitAt (bytes, left, escape, malformed);
        length += unit.length;
        bytes += unit.consumed;
        left -= unit.consumed;
    }

    return length;
}
} // namespace

std::string leftOutNote (std::size_t bytesLeftOut)
{
    return " ... (" + withThousandsSeparators (static_cast<long long> (bytesLeftOut)) + " bytes left out)";
}

void escape (const char* utf8, std::string& out, std::size_t maxBytes, Malformed malformed)
{
    out.clear();

    // Where a cut line may end: the last point between two characters (or escapes) that
    // leaves room for the note. Once the text is past maxBytes, the rest is only counted.
    const std::size_t cutLimit = maxBytes > kLongestNote ? maxBytes - kLongestNote : 0;
    std::size_t cutAt = 0;
    std::size_t length = 0;
    char escapeText[kLongestEscape];

    const auto* bytes = reinterpret_cast<const unsigned char*> (utf8);
    std::size_t left = std::strlen (utf8);

    while (left > 0 && length <= maxBytes)
    {
        const auto unit = unitAt (bytes, left, escapeText, malformed);

        if (length <= cutLimit && unit.cutBefore)
            cutAt = length;

        if (unit.escapeLength > 0)
            out.append (escapeText, unit.escapeLength);
        else
            out.append (reinterpret_cast<const char*> (bytes), unit.consumed);

        length += unit.length;
        bytes += unit.consumed;
        left -= unit.consumed;
    }

    if (length <= maxBytes)
        return;

    length += escapedLength (bytes, left, malformed);
    out.resize (cutAt);
    out += leftOutNote (length - cutAt);
}
} // namespace log_line
