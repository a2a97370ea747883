#include "requests/SpotHandler.h"

#include <memory>
#include <string>

#include "Utf8Text.h"
#include "api/ReaperApi.h"
#include "logging/Log.h"
#include "logging/LogText.h"
#include "pipe/ReplyChannel.h"
#include "reaper.pb.h"
#include "requests/ExistingFile.h"
#include "requests/SpotUndoPoint.h"
#include "requests/SpotValidation.h"

namespace
{
// REAPER's action that the spot runs after placing the item, as the library application
// has always had it.
constexpr int spotRefreshAction = 40047;

// A source REAPER created for us and that no take has taken yet; deleting it is ours.
using PendingSource = std::unique_ptr<PCM_source>;

MediaTrack* chooseTrack (Outcome& outcome)
{
    if (auto* selected = reaper::GetSelectedTrack (nullptr, 0))
        return selected;

    if (reaper::CountTracks (nullptr) == 0)
    {
        outcome = Outcome::fail ("No track");
        return nullptr;
    }

    auto* first = reaper::GetTrack (nullptr, 0);

    if (first == nullptr)
    {
        BV_ASSERT_FALSE();
        outcome = Outcome::fail ("No Tracks in session");
    }

    return first;
}

void applyTakeProperties (MediaItem_Take* take, const BVReaper::SpotCommand& spot)
{
    if (spot.has_play_rate())
    {
        reaper::SetMediaItemTakeInfo_Value (take, "D_PLAYRATE", static_cast<double> (spot.play_rate()));
        reaper::SetMediaItemTakeInfo_Value (take, "B_PPITCH", spot.preserve_pitch() ? 1.0 : 0.0);
    }

    if (spot.has_volume())
        reaper::SetMediaItemTakeInfo_Value (take, "D_VOL", static_cast<double> (spot.volume()));
}

void nameTake (MediaItem_Take* take, const BVReaper::SpotCommand& spot)
{
    // REAPER takes the name as a NUL-terminated string; both calls read only.
    std::string name (spot.take_name().c_str());
    reaper::GetSetMediaItemTakeInfo (take, "P_NAME", name.data());
    reaper::GetSetMediaItemTakeInfo_String (take, "P_NAME", name.data(), true);
}

// The length an item placed at cursor should have so that it ends at the time selection's
// end: trimmed when the cursor stands inside [selectionStart, selectionEnd) and the item
// would run past selectionEnd, otherwise unchanged. Every comparison with a NaN is false, so
// NaN anywhere keeps the length.
double trimToTimeSelection (double cursor, double length, double selectionStart, double selectionEnd)
{
    if (cursor >= selectionStart && cursor < selectionEnd && selectionEnd < cursor + length)
        return selectionEnd - cursor;

    return length;
}
} // namespace

Outcome spotFile (const BVReaper::SpotCommand& spot)
{
    // REAPER reads the path up to its first NUL; the log shows the same, made UTF-8.
    const char* path = spot.file_path().c_str();

    logging::writeToLog (logging::lineOf ("Spotting:", path));

    const auto validity = validateSpotCommand (spot);

    if (validity.failed())
        return validity;

    if (!existing_file::named (path))
        BV_ASSERT_FALSE();

    PendingSource source (reaper::PCM_Source_CreateFromFile (path));

    if (source == nullptr)
    {
        BV_ASSERT_FALSE();
        return Outcome::fail (utf8::sanitized (spot.file_path(), "Unable to find source file:"));
    }

    const double cursor = reaper::GetCursorPosition();
    const auto endValidity = validateSpotEnd (spot, cursor);

    if (endValidity.failed())
        return endValidity;

    auto outcome = Outcome::ok();
    auto* track = chooseTrack (outcome);

    if (track == nullptr)
        return outcome;

    if (spot.has_pool_only() && spot.pool_only())
        logging::writeToLog ("Importing to Pool only");

    // Declared after the source, so a failed spot's item is removed before its source is.
    SpotUndoPoint undoPoint (spotUndoDescription (spot));

    auto* item = reaper::AddMediaItemToTrack (track);

    if (item == nullptr)
    {
        BV_ASSERT_FALSE();
        return Outcome::fail ("No media item");
    }

    undoPoint.itemAdded (track, item);

    auto* take = reaper::AddTakeToMediaItem (item);

    if (take == nullptr)
    {
        BV_ASSERT_FALSE();
        return Outcome::fail ("No take");
    }

    bool lengthIsInBeats = false;
    double length = reaper::GetMediaSourceLength (source.get(), &lengthIsInBeats);

    float start = 0.0f;

    if (spot.has_start_offset())
    {
        reaper::SetMediaItemTakeInfo_Value (take, "D_STARTOFFS", static_cast<double> (spot.start_offset()));
        start = spot.start_offset();
    }

    // The library application computes the end point in single precision, and so do we.
    if (spot.has_end_offset())
        length = static_cast<double> (spot.end_offset() - start);

    applyTakeProperties (take, spot);

    double selectionStart = 0.0;
    double selectionEnd = 0.0;
    reaper::GetSet_LoopTimeRange2 (nullptr, false, false, &selectionStart, &selectionEnd, false);
    logging::writeToLog ("Loop Selection In:" + log_text::fixed (selectionStart) + " Out:" + log_text::fixed (selectionEnd));

    reaper::SetMediaItemInfo_Value (item, "B_LOOPSRC", 0.0);
    nameTake (take, spot);

    length = trimToTimeSelection (cursor, length, selectionStart, selectionEnd);

    if (!reaper::SetMediaItemLength (item, length, true))
        BV_ASSERT_FALSE();

    if (!reaper::SetMediaItemPosition (item, cursor, true))
        BV_ASSERT_FALSE();

    if (reaper::SetMediaItemTake_Source (take, source.get()))
        static_cast<void> (source.release()); // the take owns it now
    else
        BV_ASSERT_FALSE();

    reaper::UpdateItemInProject (item);
    reaper::Main_OnCommand (spotRefreshAction, 0);

    const double newPosition = cursor + length;
    logging::writeToLog ("Current Position:" + log_text::number (cursor) + " Length:" + log_text::number (length)
                         + " New Position:" + log_text::number (newPosition));

    reaper::UpdateTimeline();
    reaper::SetEditCurPos (newPosition, true, false);

    undoPoint.keep();
    return Outcome::ok();
}

void handleSpotCommand (const BVReaper::ClientMessage& request, ReplyChannel& replies)
{
    BV_ASSERT (request.has_spot());

    auto outcome = spotFile (request.spot());

    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);

    if (!outcome.failed())
    {
        sendReply (reply, replies);
        return;
    }

    // Logged only once the reply has been written or dropped (by the pipe's writer, without
    // the main thread waiting), so the library application is not kept waiting on the log
    // file and the log shows the reply before the failure. What waits for that is the line
    // as the log shows it, however long the failure text in the reply, and it is counted
    // with the reply.
    auto why = logging::lineOf ("", outcome.errorMessage().c_str());
    const auto held = why.size();
    reply.mutable_error()->set_description (std::move (outcome).errorMessage());
    sendReply (reply, replies, {[why = std::move (why)]
                                {
                                    BV_ASSERT_FALSE();
                                    logging::writeToLog (why); },
                                held});
}
