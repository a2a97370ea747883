#pragma once

#include <string>

// Windows: UTF-8, the text of the extension, REAPER and the wire, to and from the UTF-16 of
// the system's wide-character APIs (file names, the user's folders, message boxes).
namespace wide_text
{
// Ill-formed UTF-8 becomes U+FFFD, as the system converts it.
std::wstring fromUtf8 (const std::string& text);
std::string toUtf8 (const std::wstring& text);
} // namespace wide_text
