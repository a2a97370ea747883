#include "requests/Utf8Text.h"

#include <cstring>

namespace utf8
{
namespace
{
constexpr char32_t replacementCharacter = 0xFFFD;

// How a sequence starting with a given byte continues: the number of continuation bytes
// (-1 for a byte that cannot start a sequence), the payload bits of the lead byte, and
// the smallest code point such a sequence may encode (anything lower is an overlong form).
struct LeadByte
{
    int continuationBytes;
    char32_t initialBits;
    char32_t minimum;
};

LeadByte classify (unsigned char b)
{
    if (b < 0x80)
        return {0, b, 0};
    if ((b & 0xE0) == 0xC0)
        return {1, static_cast<char32_t> (b & 0x1F), 0x80};
    if ((b & 0xF0) == 0xE0)
        return {2, static_cast<char32_t> (b & 0x0F), 0x800};
    if ((b & 0xF8) == 0xF0)
        return {3, static_cast<char32_t> (b & 0x07), 0x10000};

    return {-1, 0, 0};
}
} // namespace

std::u32string decode (const char* bytes, std::size_t size)
{
    std::u32string result;

    if (bytes == nullptr)
        return result;

    const auto* data = reinterpret_cast<const unsigned char*> (bytes);
    std::size_t i = 0;

    while (i < size && data[i] != 0)
    {
        const auto lead = classify (data[i]);

        if (lead.continuationBytes < 0 || size - i - 1 < static_cast<std::size_t> (lead.continuationBytes))
        {
            result.push_back (replacementCharacter);
            ++i;
            continue;
        }

        auto codePoint = lead.initialBits;
        bool wellFormed = true;

        for (int k = 1; k <= lead.continuationBytes; ++k)
        {
            const auto next = data[i + static_cast<std::size_t> (k)];

            if ((next & 0xC0) != 0x80)
            {
                wellFormed = false;
                break;
            }

            codePoint = (codePoint << 6) | static_cast<char32_t> (next & 0x3F);
        }

        if (wellFormed)
            wellFormed = codePoint >= lead.minimum && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);

        if (!wellFormed)
        {
            result.push_back (replacementCharacter);
            ++i;
            continue;
        }

        result.push_back (codePoint);
        i += 1 + static_cast<std::size_t> (lead.continuationBytes);
    }

    return result;
}

std::u32string decode (const char* nulTerminated)
{
    return nulTerminated == nullptr ? std::u32string() : decode (nulTerminated, std::strlen (nulTerminated));
}

std::string encode (const std::u32string& codePoints)
{
    std::string out;
    out.reserve (codePoints.size());

    for (const auto c : codePoints)
    {
        if (c < 0x80)
        {
            out.push_back (static_cast<char> (c));
        }
        else if (c < 0x800)
        {
            out.push_back (static_cast<char> (0xC0 | (c >> 6)));
            out.push_back (static_cast<char> (0x80 | (c & 0x3F)));
        }
        else if (c < 0x10000)
        {
            out.push_back (static_cast<char> (0xE0 | (c >> 12)));
            out.push_back (static_cast<char> (0x80 | ((c >> 6) & 0x3F)));
            out.push_back (static_cast<char> (0x80 | (c & 0x3F)));
        }
        else
        {
            out.push_back (static_cast<char> (0xF0 | (c >> 18)));
            out.push_back (static_cast<char> (0x80 | ((c >> 12) & 0x3F)));
            out.push_back (static_cast<char> (0x80 | ((c >> 6) & 0x3F)));
            out.push_back (static_cast<char> (0x80 | (c & 0x3F)));
        }
    }

    return out;
}

std::string sanitized (const std::string& bytes)
{
    return encode (decode (bytes.data(), bytes.size()));
}
} // namespace utf8
