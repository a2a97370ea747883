#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Item.h"
#include "MediaSource.h"
#include "Project.h"

namespace reaper_host
{
// REAPER's undo history, for what the extension changes: the items on the tracks. Each
// ended outermost Undo_BeginBlock2/Undo_EndBlock2 pair is one point, holding the items
// as they were when the block began and when it ended. Undo puts back the first, redo
// the second; items come back as new objects under their old labels, as REAPER gives
// restored items new handles. The edit cursor, the selection of tracks and the time
// selection are not part of a point.
class UndoHistory
{
public:
    struct Point
    {
        std::string description;
        int flags = 0;
    };

    // Blocks nest; only the outermost one saves the items.
    void beginBlock (const Project& project);

    // Ends a block; ending the outermost adds a point after the last one in effect,
    // dropping any that were undone. False when no block is open.
    bool endBlock (const Project& project, const std::string& description, int flags);

    int openBlocks() const
    {
        return depth;
    }

    // False, changing nothing, when there is no point to undo (or redo), or a block is open.
    bool undo (Project& project);
    bool redo (Project& project);

    // Every point, oldest first; the first pointsInEffect() of them are in effect, the
    // rest can be redone.
    std::vector<Point> points() const;
    size_t pointsInEffect() const
    {
        return inEffect;
    }

    void clear();

private:
    struct SavedTake
    {
        std::string label;
        TakeProperties properties;
        std::optional<MediaSource::Saved> source;
    };

    struct SavedItem
    {
        std::string label;
        ItemProperties properties;
        std::vector<SavedTake> takes;
    };

    struct SavedTrack
    {
        const Track* track = nullptr; // tracks live as long as the project
        std::vector<SavedItem> items;
    };

    using SavedItems = std::vector<SavedTrack>;

    struct Entry
    {
        Point point;
        SavedItems before;
        SavedItems after;
    };

    static SavedItems save (const Project& project);
    static void restore (Project& project, const SavedItems& saved);

    std::vector<Entry> entries;
    size_t inEffect = 0;
    int depth = 0;
    SavedItems atOutermostBegin;
};
} // namespace reaper_host
