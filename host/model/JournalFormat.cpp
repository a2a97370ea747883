#include "JournalFormat.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace reaper_host::journal_format
{
std::string number (double value)
{
    // to_chars without a format gives the shortest text that round-trips, in plain or
    // exponent form, whichever is shorter.
    char buffer[64];
    const auto result = std::to_chars (buffer, buffer + sizeof (buffer), value);
    return std::string (buffer, result.ptr);
}

std::string boolean (bool value)
{
    return value ? "true" : "false";
}

std::string quoted (const char* text)
{
    if (text == nullptr)
        return "null";

    std::string result = "\"";
    const char* c = text;

    for (; *c != 0 && c - text < static_cast<std::ptrdiff_t> (kLongestQuotedText); ++c)
    {
        const auto byte = static_cast<unsigned char> (*c);

        if (byte == '"' || byte == '\\')
        {
            result += '\\';
            result += *c;
        }
        else if (byte < 0x20 || byte == 0x7F)
        {
            char escape[8];
            std::snprintf (escape, sizeof (escape), "\\x%02x", byte);
            result += escape;
        }
        else
        {
            result += *c;
        }
    }

    if (*c != 0)
        return result + "...\" (" + std::to_string (std::strlen (c)) + " bytes more)";

    return result + "\"";
}

std::string unknownPointer (const void* pointer)
{
    if (pointer == nullptr)
        return "null";

    char buffer[40];
    std::snprintf (buffer, sizeof (buffer), "unknown@%p", pointer);
    return buffer;
}
} // namespace reaper_host::journal_format
