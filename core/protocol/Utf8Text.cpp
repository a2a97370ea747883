#include "Utf8Text.h"

#include <algorithm>
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

std::size_t wellFormedLength (const unsigned char* data, std::size_t left, char32_t& codePoint)
{
    const auto lead = classify (data[0]);

    if (lead.continuationBytes < 0 || left - 1 < static_cast<std::size_t> (lead.continuationBytes))
        return 0;

    codePoint = lead.initialBits;

    for (int k = 1; k <= lead.continuationBytes; ++k)
    {
        const auto next = data[k];

        if ((next & 0xC0) != 0x80)
            return 0;

        codePoint = (codePoint << 6) | static_cast<char32_t> (next & 0x3F);
    }

    const bool wellFormed = codePoint >= lead.minimum && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
    return wellFormed ? 1 + static_cast<std::size_t> (lead.continuationBytes) : 0;
}

std::u32string decode (const char* bytes, std::size_t size)
{
    std::u32string result;

    if (bytes == nullptr)
        return result;

    const auto* data = reinterpret_cast<const unsigned char*> (bytes);
    std::size_t i = 0;

    while (i < size && data[i] != 0)
    {
        char32_t codePoint = 0;
        const auto length = wellFormedLength (data + i, size - i, codePoint);
        result.push_back (length == 0 ? replacementCharacter : codePoint);
        i += length == 0 ? 1 : length;
    }

    return result;
}

std::u32string decode (const char* nulTerminated)
{
    return nulTerminated == nullptr ? std::u32string() : decode (nulTerminated, std::strlen (nulTerminated));
}

std::string sanitized (const std::string& bytes)
{
    // A well-formed sequence has one encoding only, so its bytes are kept as they came.
    const auto size = std::min (bytes.find ('\0'), bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*> (bytes.data());
    std::string text;
    text.reserve (size);

    for (std::size_t i = 0; i < size;)
    {
        char32_t codePoint = 0;
        const auto length = wellFormedLength (data + i, size - i, codePoint);

        if (length == 0)
            text += "\xEF\xBF\xBD", ++i;
        else
            text.append (bytes, i, length), i += length;
    }

    return text;
}
} // namespace utf8
