#include "WideText.h"

#include <windows.h>

namespace wide_text
{
std::wstring fromUtf8 (const std::string& text)
{
    if (text.empty())
        return {};

    const auto length = ::MultiByteToWideChar (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), nullptr, 0);
    std::wstring wide (static_cast<std::size_t> (length), L'\0');
    ::MultiByteToWideChar (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), wide.data(), length);
    return wide;
}

std::string toUtf8 (const std::wstring& text)
{
    if (text.empty())
        return {};

    const auto length = ::WideCharToMultiByte (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8 (static_cast<std::size_t> (length), '\0');
    ::WideCharToMultiByte (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}
} // namespace wide_text
