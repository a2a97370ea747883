// Windows: an absolute path is a drive's ("C:\..." or "C:/...") or a share's ("\\server\...");
// its name is looked up with the wide-character API, so non-ASCII names are found.

#include "requests/ExistingFile.h"

#include <windows.h>

#include "WideText.h"

namespace existing_file
{
namespace
{
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

bool named (const std::string& path)
{
    if (!isAbsolute (path))
        return false;

    const auto attributes = ::GetFileAttributesW (wide_text::fromUtf8 (path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
} // namespace existing_file
