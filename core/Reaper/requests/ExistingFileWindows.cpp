// Windows: an absolute path is a drive's ("C:\..." or "C:/...") or a share's ("\\server\...");
// its name is looked up with the wide-character API, so non-ASCII names are found.

#include "requests/ExistingFile.h"

#include <cstring>
#include <string>

#include <windows.h>

#include "Utf8Text.h"
#include "WideText.h"

namespace existing_file
{
namespace
{
// The longest path the wide-character API takes (with the "\\?\" prefix), in UTF-16
// units; a UTF-8 name of more bytes than that is no shorter.
constexpr size_t kLongestPath = 32767;

bool isSeparator (char c)
{
    return c == '\\' || c == '/';
}

bool isAbsolute (const std::string& path)
{
    const bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' && isSeparator (path[2]);
    const bool share = path.size() >= 3 && isSeparator (path[0]) && isSeparator (path[1]);
    return drive || share;
}
} // namespace

bool named (const char* pathBytes)
{
    if (::strnlen (pathBytes, kLongestPath + 1) > kLongestPath)
        return false;

    const auto path = utf8::sanitized (pathBytes);

    if (!isAbsolute (path))
        return false;

    const auto attributes = ::GetFileAttributesW (wide_text::fromUtf8 (path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
} // namespace existing_file
