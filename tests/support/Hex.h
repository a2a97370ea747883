#pragma once

#include <string>

#include "../../tools/common/HexText.h"

// Hex helpers for byte-exact assertions: "08 03 BA 06" <-> raw bytes.
namespace testing_support
{
inline std::string fromHex (const std::string& hex)
{
    std::string bytes;
    int nibbles = 0;
    unsigned value = 0;

    for (char c : hex)
    {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            continue;

        value = (value << 4) | static_cast<unsigned> (digit);
        if (++nibbles == 2)
        {
            bytes.push_back (static_cast<char> (value));
            nibbles = 0;
            value = 0;
        }
    }

    return bytes;
}

using hex_text::toHex;
} // namespace testing_support
