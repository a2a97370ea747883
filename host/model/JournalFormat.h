#pragma once

#include <string>

// Text forms of host-call arguments and results for the call journal.
namespace reaper_host::journal_format
{
// Shortest decimal text that reads back as the same double: 2.5, 0.20000001788139343.
std::string number (double value);

std::string boolean (bool value);

// Quoted, with quotes, backslashes and control characters escaped; "null" for null.
std::string quoted (const char* text);

// A pointer the model does not know, e.g. "unknown@0x1234"; "null" for null.
std::string unknownPointer (const void* pointer);
} // namespace reaper_host::journal_format
