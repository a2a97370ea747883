#pragma once

#include <cstddef>
#include <string>

// Makes any text one log line: control characters are written as escapes instead of raw, so
// text that came from a request (a path, a take name, a failure text) can never start a line
// of its own or forge one. CR, LF and TAB become \r, \n and \t; other ASCII controls and DEL
// become \xHH; the C1 controls U+0080 to U+009F, the Unicode line and paragraph separators
// U+2028 and U+2029, and the invisible format characters that change how a line is shown
// (U+200B to U+200F, the bidirectional embeddings and overrides U+202A to U+202E, U+2060 to
// U+2064, the bidirectional isolates U+2066 to U+2069, U+FEFF) become \uHHHH. Everything else,
// backslashes included, is copied unchanged, so a line without such characters is written
// exactly as before.
namespace log_line
{
// The longest line the log writes, in bytes, without its line end.
constexpr std::size_t kMaxLineBytes = 8192;

// Replaces `out` with the escaped form of the UTF-8 text. When that is longer than maxBytes
// it is cut, between two characters or escapes, and ends in " ... (N bytes left out)", N
// being how many bytes of the escaped text were cut off; the whole stays within maxBytes.
void escape (const char* utf8, std::string& out, std::size_t maxBytes = std::string::npos);

// The note a cut line ends with.
std::string leftOutNote (std::size_t bytesLeftOut);
} // namespace log_line
