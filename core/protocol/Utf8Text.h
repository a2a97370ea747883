#pragma once

#include <string>

// Text that arrives as bytes (from the pipe or from REAPER) is meant to be UTF-8 but is
// not checked by anyone before us. These helpers read it up to its first NUL, as REAPER
// would, and replace every byte that does not belong to a well-formed UTF-8 sequence by
// U+FFFD, so that malformed input can neither be over-read nor produce malformed text.
namespace utf8
{
// The length of the well-formed sequence at data (left bytes long, left > 0), with the code
// point it encodes; 0 when the byte there does not start one.
std::size_t wellFormedLength (const unsigned char* data, std::size_t left, char32_t& codePoint);

// The code points of bytes, ending at the first NUL or after size bytes.
std::u32string decode (const char* bytes, std::size_t size);

// The same for a NUL-terminated string; null gives an empty result.
std::u32string decode (const char* nulTerminated);

// before followed by bytes as well-formed UTF-8, for log lines and failure texts: bytes up to
// their first NUL, each malformed byte replaced by U+FFFD.
std::string sanitized (const std::string& bytes, const std::string& before = {});
} // namespace utf8
