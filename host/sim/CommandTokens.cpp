#include "CommandTokens.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace reaper_host
{
bool tokenizeCommand (const std::string& line, std::vector<std::string>& words, std::string& error)
{
    words.clear();
    std::string word;
    bool inWord = false;
    char quote = 0;

    for (size_t i = 0; i < line.size(); ++i)
    {
        const char c = line[i];

        if (quote != 0)
        {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && quote == '"' && i + 1 < line.size())
                word += line[++i];
            else
                word += c;

            continue;
        }

        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
        {
            if (inWord)
                words.push_back (word);

            word.clear();
            inWord = false;
        }
        else if (c == '#' && !inWord)
        {
            break;
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
            inWord = true;
        }
        else if (c == '\\' && i + 1 < line.size())
        {
            word += line[++i];
            inWord = true;
        }
        else
        {
            word += c;
            inWord = true;
        }
    }

    if (quote != 0)
    {
        error = std::string ("unterminated ") + quote + " quote";
        return false;
    }

    if (inWord)
        words.push_back (word);

    return true;
}

bool parseNumber (const std::string& word, double& value)
{
    // strtod would skip leading blanks; a word with them is not a number.
    if (word.empty() || std::isspace ((unsigned char) word[0]))
        return false;

    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod (word.c_str(), &end);

    if (end != word.c_str() + word.size() || errno != 0 || !std::isfinite (parsed))
        return false;

    value = parsed;
    return true;
}

bool parseInteger (const std::string& word, int& value)
{
    if (word.empty() || std::isspace ((unsigned char) word[0]))
        return false;

    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol (word.c_str(), &end, 0);

    if (end != word.c_str() + word.size() || errno != 0 || parsed < INT_MIN || parsed > INT_MAX)
        return false;

    value = (int) parsed;
    return true;
}
} // namespace reaper_host
