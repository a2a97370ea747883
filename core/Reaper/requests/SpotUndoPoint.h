#pragma once

#include <string>

#include "api/ReaperTypes.h"
#include "reaper.pb.h"

// The name of a spot's undo point, as REAPER's undo history shows it: "Spot: " and the
// take name, else the file name without folder and extension.
std::string spotUndoDescription (const BVReaper::SpotCommand& spot);

// One spot's changes to the project as one undo point and one redraw. Opened before the
// first change; closed when it goes out of scope, on every path. A spot that fails after
// its item was added has that item removed before the point closes, so the project is
// left as it was. Where the host lacks the optional functions, the matching calls are
// left out and the spot behaves as without this.
class SpotUndoPoint
{
public:
    explicit SpotUndoPoint (std::string description);
    ~SpotUndoPoint();

    SpotUndoPoint (const SpotUndoPoint&) = delete;
    SpotUndoPoint& operator= (const SpotUndoPoint&) = delete;

    // The item the spot added; removed at the close unless the spot is kept.
    void itemAdded (MediaTrack* track, MediaItem* item);

    // The spot succeeded: its item stays.
    void keep();

private:
    std::string description;
    bool undoBlockOpen = false;
    bool refreshPrevented = false;
    MediaTrack* addedTo = nullptr;
    MediaItem* added = nullptr;
    bool kept = false;
};
