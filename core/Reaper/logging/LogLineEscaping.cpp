#include "logging/LogLineEscaping.h"

#include <cstdio>

namespace log_line
{
namespace
{
void appendHex (std::string& out, const char* prefix, unsigned value, int digits)
{
    char text[12];
    std::snprintf (text, sizeof (text), "%s%0*X", prefix, digits, value);
    out += text;
}

// The length of the multi-byte character at `bytes` that must be escaped, with its code
// point; 0 when it is kept.
int escapedSequence (const unsigned char* bytes, unsigned& codePoint)
{
    // U+0080..U+009F: C2 80..C2 9F.
    if (bytes[0] == 0xC2 && bytes[1] >= 0x80 && bytes[1] <= 0x9F)
    {
        codePoint = bytes[1];
        return 2;
    }

    // U+2028, U+2029: E2 80 A8, E2 80 A9.
    if (bytes[0] == 0xE2 && bytes[1] == 0x80 && (bytes[2] == 0xA8 || bytes[2] == 0xA9))
    {
        codePoint = 0x2000u + (bytes[2] - 0x80u);
        return 3;
    }

    return 0;
}
} // namespace

void escape (const char* utf8, std::string& out)
{
    out.clear();

    for (auto* bytes = reinterpret_cast<const unsigned char*> (utf8); *bytes != 0;)
    {
        const auto byte = *bytes;
        unsigned codePoint = 0;

        if (byte == '\n')
            out += "\\n";
        else if (byte == '\r')
            out += "\\r";
        else if (byte == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
            appendHex (out, "\\x", byte, 2);
        else if (const auto length = escapedSequence (bytes, codePoint); length > 0)
        {
            appendHex (out, "\\u", codePoint, 4);
            bytes += length;
            continue;
        }
        else
            out += static_cast<char> (byte);

        ++bytes;
    }
}
} // namespace log_line
