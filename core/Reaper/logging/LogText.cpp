#include "logging/LogText.h"

#include <locale>
#include <sstream>

namespace log_text
{
namespace
{
std::string format (double value, bool fixedPoint)
{
    std::ostringstream out;
    out.imbue (std::locale::classic());

    if (fixedPoint)
        out << std::fixed;

    out << value;
    return out.str();
}

std::string twoDigits (int value)
{
    return (value < 10 ? "0" : "") + std::to_string (value);
}
} // namespace

std::string number (double value)
{
    return format (value, false);
}

std::string fixed (double value)
{
    return format (value, true);
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
} // namespace log_text
