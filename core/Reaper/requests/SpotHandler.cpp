#include "requests/SpotHandler.h"

#include <memory>

#include "host/ReaperApi.h"
#include "requests/ReplyProcedure.h"
#include "requests/SpotUndoPoint.h"
#include "requests/SpotValidation.h"
#include "requests/TimeSelectionTrim.h"
#include "requests/Utf8Text.h"

namespace
{
// REAPER's action that the spot runs after placing the item, as the library application
// has always had it.
constexpr int spotRefreshAction = 40047;

// A source REAPER created for us and that no take has taken yet; deleting it is ours.
using PendingSource = std::unique_ptr<PCM_source>;

bool namesExistingFile (const juce::String& path)
{
    // JUCE's File logs an assertion of its own for a relative path, so only absolute
    // paths are asked about; anything else cannot be shown to exist.
    return juce::File::isAbsolutePath (path) && juce::File (path).existsAsFile();
}

MediaTrack* chooseTrack (juce::Result& outcome)
{
    if (auto* selected = reaper::GetSelectedTrack (nullptr, 0))
        return selected;

    if (reaper::CountTracks (nullptr) == 0)
    {
        outcome = juce::Result::fail ("No track");
        return nullptr;
    }

    auto* first = reaper::GetTrack (nullptr, 0);

    if (first == nullptr)
    {
        jassertfalse;
        outcome = juce::Result::fail ("No Tracks in session");
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
} // namespace

juce::Result spotFile (const BVReaper::SpotCommand& spot)
{
    // REAPER reads the path up to its first NUL; the log shows the same.
    const std::string pathBytes (spot.file_path().c_str());
    const auto path = utf8::toJuceString (pathBytes);

    juce::Logger::writeToLog ("Spotting:" + path);

    const auto validity = validateSpotCommand (spot);

    if (validity.failed())
        return validity;

    if (!namesExistingFile (path))
        jassertfalse;

    PendingSource source (reaper::PCM_Source_CreateFromFile (pathBytes.c_str()));

    if (source == nullptr)
    {
        jassertfalse;
        return juce::Result::fail ("Unable to find source file:" + path);
    }

    const double cursor = reaper::GetCursorPosition();
    const auto endValidity = validateSpotEnd (spot, cursor);

    if (endValidity.failed())
        return endValidity;

    auto outcome = juce::Result::ok();
    auto* track = chooseTrack (outcome);

    if (track == nullptr)
        return outcome;

    if (spot.has_pool_only() && spot.pool_only())
        juce::Logger::writeToLog ("Importing to Pool only");

    // Declared after the source, so a failed spot's item is removed before its source is.
    SpotUndoPoint undoPoint (spotUndoDescription (spot));

    auto* item = reaper::AddMediaItemToTrack (track);

    if (item == nullptr)
    {
        jassertfalse;
        return juce::Result::fail ("No media item");
    }

    undoPoint.itemAdded (track, item);

    auto* take = reaper::AddTakeToMediaItem (item);

    if (take == nullptr)
    {
        jassertfalse;
        return juce::Result::fail ("No take");
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
    juce::Logger::writeToLog (juce::String::formatted ("Loop Selection In:%f Out:%f", selectionStart, selectionEnd));

    reaper::SetMediaItemInfo_Value (item, "B_LOOPSRC", 0.0);
    nameTake (take, spot);

    length = trimToTimeSelection (cursor, length, selectionStart, selectionEnd);

    if (!reaper::SetMediaItemLength (item, length, true))
        jassertfalse;

    if (!reaper::SetMediaItemPosition (item, cursor, true))
        jassertfalse;

    if (reaper::SetMediaItemTake_Source (take, source.get()))
        static_cast<void> (source.release()); // the take owns it now
    else
        jassertfalse;

    reaper::UpdateItemInProject (item);
    reaper::Main_OnCommand (spotRefreshAction, 0);

    const double newPosition = cursor + length;
    juce::Logger::writeToLog ("Current Position:" + juce::String (cursor) + " Length:" + juce::String (length)
                              + " New Position:" + juce::String (newPosition));

    reaper::UpdateTimeline();
    reaper::SetEditCurPos (newPosition, true, false);

    undoPoint.keep();
    return juce::Result::ok();
}

void handleSpotCommand (const BVReaper::ClientMessage& request, ReplySender& replies)
{
    jassert (request.has_spot());

    const auto outcome = spotFile (request.spot());

    BVReaper::ServerMessage reply;
    reply.set_type (BVReaper::ServerMessage::COMMAND_RESULT);

    if (outcome.failed())
        reply.mutable_error()->set_description (outcome.getErrorMessage().toStdString());

    sendReply (reply, replies);

    // Logged only after the reply is out, so the library application is not kept waiting
    // on the log file.
    if (outcome.failed())
    {
        jassertfalse;
        juce::Logger::writeToLog (outcome.getErrorMessage());
    }
}
