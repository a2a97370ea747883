#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Item.h"
#include "MediaSource.h"
#include "Project.h"

namespace reaper_host
{
// REAPER's undo history, for what the extension changes: the items on the tracks. Each
// ended outermost undo block begin/end pair is one point, holding the items
// the block added, removed or changed, as they were before it and when it ended. Undo
// puts back the first, redo the second; an item comes back as a new object under its
// old label, as REAPER gives restored items new handles. The edit cursor, the track
// selection and the time selection are not part of a point.
//
// The model tells the history of every item a host function reaches (itemReached) or
// creates (itemAdded) while a block is open; a point keeps only those that changed, so
// a block costs in proportion to what it touched, not to the size of the project.
// Changes made outside any block (project setup) are never undone.
class UndoHistory
{
public:
    struct Point
    {
        std::string description;
        int flags = 0;
    };

    // Blocks nest; only the outermost one counts.
    void beginBlock();

    // Ends a block; ending the outermost adds a point after the last one in effect,
    // dropping any that were undone. False when no block is open.
    bool endBlock (const Project& project, const std::string& description, int flags);

    int openBlocks() const
    {
        return depth;
    }

    // An existing item is about to be read or changed; an item was just created.
    void itemReached (Item& item);
    void itemAdded (Item& item);

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
        const PCM_source* sourceAddress = nullptr; // to notice a take given another source
        std::optional<MediaSource::Saved> source;
    };

    struct SavedItem
    {
        Track* track = nullptr; // tracks live as long as the project
        std::string label;
        ItemProperties properties;
        std::vector<SavedTake> takes;
    };

    // One item within a point; no state: it did not exist.
    struct ItemChange
    {
        std::string label;
        std::optional<SavedItem> before;
        std::optional<SavedItem> after;
    };

    struct Entry
    {
        Point point;
        std::vector<ItemChange> changes;
    };

    // An item the open block reached: where it lived, and its state before the block.
    struct Reached
    {
        const Item* address;
        ItemChange change;
    };

    static SavedItem save (const Item& item);
    static bool matches (const Item& item, const SavedItem& saved);
    void reach (Item& item, bool added);
    // Makes the items of the changes as they were before (or after) them.
    static void apply (Project& project, const std::vector<ItemChange>& changes, bool toAfter);

    std::vector<Entry> entries;
    size_t inEffect = 0;
    int depth = 0;
    std::vector<Reached> reached;
};
} // namespace reaper_host
