#pragma once

#include <string>

// Makes any text one log line: control characters are written as escapes instead of raw, so
// text that came from a request (a path, a take name, a failure text) can never start a line
// of its own or forge one. CR, LF and TAB become \r, \n and \t; other ASCII controls and DEL
// become \xHH; the C1 controls U+0080 to U+009F and the Unicode line and paragraph
// separators U+2028 and U+2029 become \uHHHH. Everything else, backslashes included, is
// copied unchanged, so a line without control characters is written exactly as before.
namespace log_line
{
// Replaces `out` with the escaped form of the UTF-8 text.
void escape (const char* utf8, std::string& out);
} // namespace log_line
