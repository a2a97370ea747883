#include "LogFileLines.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace testing_support
{
namespace
{
const std::string kBannerStars (58, '*');
const std::string kBannerStart = "Log started: ";

bool startsWith (const std::string& text, const std::string& prefix)
{
    return text.compare (0, prefix.size(), prefix) == 0;
}
} // namespace

std::string readWholeFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

std::vector<std::string> readLogLines (const std::string& path)
{
    const auto text = readWholeFile (path);
    std::vector<std::string> lines;
    std::string current;
    bool pendingLine = false;

    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];

        if (c == '\r' || c == '\n')
        {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;

            lines.push_back (current);
            current.clear();
            pendingLine = false;
            continue;
        }

        current += c;
        pendingLine = true;
    }

    if (pendingLine)
        lines.push_back (current);

    return lines;
}

bool isAssertionLine (const std::string& line)
{
    return startsWith (line, "JUCE Assertion failure in ");
}

std::vector<std::string> messageLines (const std::vector<std::string>& lines)
{
    std::vector<std::string> out;

    for (const auto& line : lines)
        if (!line.empty() && line != kBannerStars && !startsWith (line, kBannerStart))
            out.push_back (line);

    return out;
}

int bannerCount (const std::vector<std::string>& lines)
{
    return static_cast<int> (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                                            { return startsWith (line, kBannerStart); }));
}

int countOf (const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int> (std::count (lines.begin(), lines.end(), line));
}
} // namespace testing_support
