#include "Utf8Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace utf8
{
namespace
{
constexpr char32_t replacementCharacter = 0xFFFD;
constexpr char replacementBytes[3] = {'\xEF', '\xBF', '\xBD'};

// True for a byte that neither is ASCII nor can begin a well-formed sequence.
bool startsNoSequence (unsigned char b)
{
    return (b >= 0x80 && b < 0xC2) || b >= 0xF5;
}

void appendReplacements (std::string& text, std::size_t count)
{
    static const std::string block = []
    {
        std::string b;
        for (int k = 0; k < 256; ++k)
            b.append (replacementBytes, sizeof (replacementBytes));
        return b;
    }();

    for (; count > 0;)
    {
        const auto n = std::min<std::size_t> (count, 256);
        text.append (block, 0, n * sizeof (replacementBytes));
        count -= n;
    }
}

// The end of the run of ASCII bytes from `from`, eight bytes at a time.
std::size_t asciiRunEnd (const unsigned char* data, std::size_t from, std::size_t size)
{
    constexpr std::uint64_t highBits = 0x8080808080808080u;
    std::uint64_t word = 0;

    while (from + sizeof (word) <= size && (std::memcpy (&word, data + from, sizeof (word)), (word & highBits) == 0))
        from += sizeof (word);

    while (from < size && data[from] < 0x80)
        ++from;

    return from;
}

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

std::string sanitized (const std::string& bytes, const std::string& before)
{
    // A well-formed sequence has one encoding only, so its bytes are kept as they came. Runs
    // are copied and replaced as a whole, so a request's text of any size costs a few memory
    // passes (a 1 MiB path, each byte of it replaced, is under a millisecond).
    const auto size = std::min (bytes.find ('\0'), bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*> (bytes.data());
    // Room for every byte replaced: pages never written are never touched, and growing by
    // copies would write the text several times over.
    std::string text;
    text.reserve (before.size() + size * sizeof (replacementBytes));
    text = before;

    for (std::size_t i = 0; i < size;)
    {
        const auto runStart = i;
        i = asciiRunEnd (data, i, size);

        while (i < size)
        {
            char32_t codePoint = 0;
            const auto length = data[i] < 0x80 ? 1 : wellFormedLength (data + i, size - i, codePoint);

            if (length == 0)
                break;

            i += length;
        }

        text.append (bytes, runStart, i - runStart);

        const auto malformedStart = i;

        for (char32_t codePoint = 0; i < size && data[i] >= 0x80 && (startsNoSequence (data[i]) || wellFormedLength (data + i, size - i, codePoint) == 0);)
            ++i;

        appendReplacements (text, i - malformedStart);
    }

    return text;
}
} // namespace utf8
