#pragma once

#include <cstddef>
#include <string>

// Makes any text one log line: control characters are written as escapes instead of raw, so
// text that came from a request (a path, a take name, a failure text) can never start a line
// of its own or forge one, nor hide or reorder what is shown. CR, LF and TAB become \r, \n
// and \t; other ASCII controls and DEL become \xHH; every other code point that is a control
// (the C1 controls), a line or paragraph separator, a format character (General_Category Cf:
// bidirectional embeddings, overrides and isolates, zero-width characters, tags) or default
// ignorable (fillers, variation selectors) becomes \uHHHH, or \UHHHHHHHH above U+FFFF. The
// table of those code points is generated from the Unicode Character Database
// (EscapedCodePoints.h). Everything else, backslashes and bytes that are not UTF-8 included,
// is copied unchanged, so a line without such characters is written exactly as before.
namespace log_line
{
// The longest line the log writes, in bytes, without its line end.
constexpr std::size_t kMaxLineBytes = 8192;

// What becomes of a byte that does not belong to a well-formed UTF-8 sequence.
enum class Malformed
{
    copied,  // as it came
    replaced // by U+FFFD, as utf8::sanitized makes it, without making the whole text first
};

// Replaces `out` with the escaped form of the UTF-8 text. When that is longer than maxBytes
// it is cut, between two characters or escapes, and ends in " ... (N bytes left out)", N
// being how many bytes of the escaped text were cut off; the whole stays within maxBytes.
// Past maxBytes the rest of the text is only counted, never written out. [any thread]
void escape (const char* utf8, std::string& out, std::size_t maxBytes = std::string::npos, Malformed malformed = Malformed::copied);

// The note a cut line ends with. [any thread]
std::string leftOutNote (std::size_t bytesLeftOut);
} // namespace log_line
