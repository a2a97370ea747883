#include "requests/SpotUndoPoint.h"

#include "api/ReaperApi.h"

namespace
{
// The last path component without its extension; a leading dot belongs to the name.
std::string fileStem (const std::string& path)
{
    const auto slash = path.find_last_of ('/');
    auto name = slash == std::string::npos ? path : path.substr (slash + 1);
    const auto dot = name.find_last_of ('.');

    if (dot != std::string::npos && dot > 0)
        name.resize (dot);

    return name;
}
} // namespace

std::string spotUndoDescription (const BVReaper::SpotCommand& spot)
{
    // Both fields go to REAPER up to their first NUL; the description names what it shows.
    const std::string takeName (spot.take_name().c_str());
    return "Spot: " + (takeName.empty() ? fileStem (spot.file_path().c_str()) : takeName);
}

SpotUndoPoint::SpotUndoPoint (std::string undoDescription)
    : description (std::move (undoDescription))
{
    // A block is only begun where it can also be ended.
    if (reaper::Undo_BeginBlock2 != nullptr && reaper::Undo_EndBlock2 != nullptr)
    {
        reaper::Undo_BeginBlock2 (nullptr);
        undoBlockOpen = true;
    }

    if (reaper::PreventUIRefresh != nullptr)
    {
        reaper::PreventUIRefresh (1);
        refreshPrevented = true;
    }
}

SpotUndoPoint::~SpotUndoPoint()
{
    if (added != nullptr && !kept && reaper::DeleteTrackMediaItem != nullptr)
        reaper::DeleteTrackMediaItem (addedTo, added);

    if (refreshPrevented)
        reaper::PreventUIRefresh (-1);

    if (undoBlockOpen)
        reaper::Undo_EndBlock2 (nullptr, description.c_str(), reaper::UNDO_STATE_ITEMS);
}

void SpotUndoPoint::itemAdded (MediaTrack* track, MediaItem* item)
{
    addedTo = track;
    added = item;
}

void SpotUndoPoint::keep()
{
    kept = true;
}
