#include "requests/SelectedItemJson.h"

#include "requests/JsonTextWriter.h"

namespace
{
constexpr const char* lineEnd = "\r\n";

std::string member (const char* key, const std::string& value)
{
    return std::string ("  \"") + key + "\": " + value;
}
} // namespace

std::string writeSelectedItemJson (const SelectedItemReport& report)
{
    switch (report.shape)
    {
        case SelectedItemReport::Shape::none:
            return "null";

        case SelectedItemReport::Shape::emptyObject:
            return std::string ("{") + lineEnd + "}";

        case SelectedItemReport::Shape::fullObject:
            break;
    }

    const std::string separator = std::string (",") + lineEnd;

    return std::string ("{") + lineEnd
           + member ("src", json_text::quotedString (report.src)) + separator
           + member ("start", json_text::threeDecimals (report.start)) + separator
           + member ("len", json_text::threeDecimals (report.len)) + separator
           + member ("pcmsr", json_text::integer (report.pcmsr)) + separator
           + member ("pcmlen", json_text::threeDecimals (report.pcmlen)) + lineEnd
           + "}";
}
