#pragma once

#include <string>
#include <vector>

namespace reaper_host
{
// Splits a command line into words: blanks separate words, "double" or 'single' quotes
// keep blanks inside a word, a backslash escapes the next character outside single
// quotes, and '#' outside quotes starts a comment. False, with a reason, on an
// unterminated quote.
bool tokenizeCommand (const std::string& line, std::vector<std::string>& words, std::string& error);

// A whole word as a finite number; false for anything else ("1.5x", "nan", "").
bool parseNumber (const std::string& word, double& value);

// A whole word as an int; accepts decimal and 0x hexadecimal.
bool parseInteger (const std::string& word, int& value);
} // namespace reaper_host
