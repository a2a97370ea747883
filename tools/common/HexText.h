#pragma once

#include <cstdio>
#include <string>

// Bytes written for people to read: "08 03 BA 06", two upper-case digits a byte and a
// space between. What bv-client prints for raw replies, and what the tests compare
// byte-exact payloads by.
namespace hex_text
{
inline std::string toHex (const std::string& bytes)
{
    std::string hex;
    char buffer[4];

    for (unsigned char c : bytes)
    {
        std::snprintf (buffer, sizeof (buffer), hex.empty() ? "%02X" : " %02X", c);
        hex += buffer;
    }

    return hex;
}
} // namespace hex_text
