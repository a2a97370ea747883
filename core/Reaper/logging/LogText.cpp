#include "logging/LogText.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace log_text
{
namespace
{
// printf writes the decimal point of the calling thread's locale, which the host process
// may have set to a comma: it is put back to a point. Neither format groups digits, so the
// decimal point is the only thing a locale changes.
std::string format (double value, const char* conversion)
{
    char text[512];
    const int length = std::snprintf (text, sizeof (text), conversion, value);
    std::string result (text, length > 0 ? std::min<std::size_t> (static_cast<std::size_t> (length), sizeof (text) - 1) : 0);

    const char* point = std::localeconv()->decimal_point;

    if (point != nullptr && std::strcmp (point, ".") != 0 && *point != 0)
    {
        const auto at = result.find (point);

        if (at != std::string::npos)
            result.replace (at, std::strlen (point), ".");
    }

    return result;
}

std::string twoDigits (int value)
{
    return (value < 10 ? "0" : "") + std::to_string (value);
}
} // namespace

std::string number (double value)
{
    return format (value, "%g");
}

std::string fixed (double value)
{
    return format (value, "%f");
}

std::string bannerTime (const std::tm& local)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;

    return std::to_string (local.tm_mday) + " " + months[((local.tm_mon % 12) + 12) % 12] + " "
           + std::to_string (local.tm_year + 1900) + " " + std::to_string (hour12) + ":" + twoDigits (local.tm_min)
           + ":" + twoDigits (local.tm_sec) + (local.tm_hour >= 12 ? "pm" : "am");
}

std::string bannerTimeNow()
{
    const auto now = std::time (nullptr);
    std::tm local{};
    localtime_r (&now, &local);
    return bannerTime (local);
}

std::string lostNotice (long long lines)
{
    return "Log file could not be written: " + std::to_string (lines) + " lines were lost\r\n";
}

long long dropOldestLines (std::string& text, std::size_t bound)
{
    if (text.size() <= bound)
        return 0;

    const auto lineEnd = text.find ('\n', text.size() - bound - 1);
    const auto cut = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
    const auto lines = std::count (text.begin(), text.begin() + static_cast<std::ptrdiff_t> (cut), '\n');
    text.erase (0, cut);
    return lines;
}
} // namespace log_text
