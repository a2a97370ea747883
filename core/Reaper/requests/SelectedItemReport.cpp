#include "requests/SelectedItemReport.h"

#include <cstring>

#include "api/ReaperApi.h"
#include "logging/Log.h"
#include "pipe/ReplyChannel.h"
#include "reaper.pb.h"
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

SelectedItemReport gatherSelectedItemReport()
{
    SelectedItemReport report;

    if (reaper::CountSelectedMediaItems (nullptr) < 1)
        return report;

    auto* item = reaper::GetSelectedMediaItem (nullptr, 0);

    if (item == nullptr)
        return report;

    // Take 0, not the active take: the library application asks about the item's first take.
    auto* take = reaper::GetMediaItemTake (item, 0);

    if (take == nullptr)
        return report;

    report.shape = SelectedItemReport::Shape::emptyObject;
    report.start = reaper::GetMediaItemTakeInfo_Value (take, "D_STARTOFFS");
    report.len = reaper::GetMediaItemInfo_Value (item, "D_LENGTH");

    auto* source = reaper::GetMediaItemTake_Source (take);

    if (source == nullptr)
        return report;

    const char* fileName = source->GetFileName();

    if (fileName == nullptr)
        return report;

    // Measured no further than the limit: a name of any length costs the same.
    if (::strnlen (fileName, SelectedItemReport::kLongestFileName + 1) > SelectedItemReport::kLongestFileName)
    {
        logging::writeToLog ("Selected item's file name not reported: longer than "
                             + std::to_string (SelectedItemReport::kLongestFileName) + " bytes");
        return report;
    }

    report.shape = SelectedItemReport::Shape::fullObject;
    report.src = fileName;
    report.pcmsr = reaper::GetMediaSourceSampleRate (source);

    bool lengthIsInBeats = false;
    report.pcmlen = reaper::GetMediaSourceLength (source, &lengthIsInBeats);

    return report;
}

void reportSelectedItem (ReplyChannel& replies)
{
    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::RESPONSE);
    reply.mutable_response()->set_text (writeSelectedItemJson (gatherSelectedItemReport()));
    sendReply (reply, replies);
}
