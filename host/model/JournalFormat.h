#pragma once

#include <cstddef>
#include <string>

// Text forms of host-call arguments and results for the call journal.
namespace reaper_host::journal_format
{
// Shortest decimal text that reads back as the same double: 2.5, 0.20000001788139343.
std::string number (double value);

std::string boolean (bool value);

// The most bytes of a text argument the journal shows (the longest path Linux takes): a
// longer one, which only a test of limits passes, is cut there, so that neither the
// journal's memory nor the time a host call takes grows with it.
constexpr std::size_t kLongestQuotedText = 4096;

// Quoted, with quotes, backslashes and control characters escaped; "null" for null. Past
// kLongestQuotedText bytes, the rest is shown as its size: "abc..." (5 bytes more)".
std::string quoted (const char* text);

// A pointer the model does not know, e.g. "unknown@0x1234"; "null" for null.
std::string unknownPointer (const void* pointer);
} // namespace reaper_host::journal_format
