#include "UndoHistory.h"

#include <algorithm>

#include "Track.h"

namespace reaper_host
{
void UndoHistory::beginBlock()
{
    if (depth++ == 0)
        reached.clear();
}

bool UndoHistory::endBlock (const Project& project, const std::string& description, int flags)
{
    if (depth == 0)
        return false;

    if (--depth > 0)
        return true;

    Entry entry{{description, flags}, {}};

    for (auto& item : reached)
    {
        // Found by address and label, so an item made at a freed item's address is not
        // taken for it.
        const Item* live = nullptr;

        for (const auto& track : project.tracks)
            for (const auto& candidate : track->items)
                if (candidate.get() == item.address && candidate->label == item.change.label)
                    live = candidate.get();

        auto& change = item.change;

        if (live != nullptr && change.before && matches (*live, *change.before))
            continue;

        if (live == nullptr && !change.before)
            continue; // made and removed within the block

        if (live != nullptr)
            change.after = save (*live);

        entry.changes.push_back (std::move (change));
    }

    reached.clear();
    entries.resize (inEffect);
    entries.push_back (std::move (entry));
    inEffect = entries.size();
    return true;
}

void UndoHistory::itemReached (Item& item)
{
    reach (item, false);
}

void UndoHistory::itemAdded (Item& item)
{
    reach (item, true);
}

void UndoHistory::reach (Item& item, bool added)
{
    if (depth == 0)
        return;

    for (const auto& known : reached)
        if (known.address == &item && known.change.label == item.label)
            return;

    reached.push_back ({&item, {item.label, added ? std::nullopt : std::optional<SavedItem> (save (item)), std::nullopt}});
}

bool UndoHistory::undo (Project& project)
{
    if (depth > 0 || inEffect == 0)
        return false;

    apply (project, entries[--inEffect].changes, false);
    return true;
}

bool UndoHistory::redo (Project& project)
{
    if (depth > 0 || inEffect == entries.size())
        return false;

    apply (project, entries[inEffect++].changes, true);
    return true;
}

std::vector<UndoHistory::Point> UndoHistory::points() const
{
    std::vector<Point> result;

    for (const auto& entry : entries)
        result.push_back (entry.point);

    return result;
}

void UndoHistory::clear()
{
    entries.clear();
    inEffect = 0;
    depth = 0;
    reached.clear();
}

UndoHistory::SavedItem UndoHistory::save (const Item& item)
{
    SavedItem saved{item.track, item.label, item, {}};

    for (const auto& take : item.takes)
    {
        std::optional<MediaSource::Saved> source;

        if (const auto* ours = MediaSource::findLive (take->source.get()))
            source = ours->save();

        saved.takes.push_back ({take->label, *take, take->source.get(), std::move (source)});
    }

    return saved;
}

bool UndoHistory::matches (const Item& item, const SavedItem& saved)
{
    if (item.track != saved.track || !(static_cast<const ItemProperties&> (item) == saved.properties)
        || item.takes.size() != saved.takes.size())
        return false;

    for (size_t i = 0; i < item.takes.size(); ++i)
    {
        const auto& take = *item.takes[i];
        const auto& savedTake = saved.takes[i];

        if (take.label != savedTake.label || !(static_cast<const TakeProperties&> (take) == savedTake.properties)
            || take.source.get() != savedTake.sourceAddress)
            return false;
    }

    return true;
}

void UndoHistory::apply (Project& project, const std::vector<ItemChange>& changes, bool toAfter)
{
    auto findLive = [&] (const std::string& label) -> std::unique_ptr<Item>*
    {
        for (auto& track : project.tracks)
            for (auto& item : track->items)
                if (item->label == label)
                    return &item;

        return nullptr;
    };

    auto build = [] (const SavedItem& saved)
    {
        auto item = std::make_unique<Item>();
        static_cast<ItemProperties&> (*item) = saved.properties;
        item->label = saved.label;
        item->track = saved.track;

        for (const auto& savedTake : saved.takes)
        {
            auto take = std::make_unique<Take>();
            static_cast<TakeProperties&> (*take) = savedTake.properties;
            take->label = savedTake.label;
            take->item = item.get();

            if (savedTake.source)
                take->source = MediaSource::restore (*savedTake.source);

            item->takes.push_back (std::move (take));
        }

        return item;
    };

    auto applyOne = [&] (const ItemChange& change)
    {
        const auto& target = toAfter ? change.after : change.before;
        auto* live = findLive (change.label);

        if (!target)
        {
            if (live != nullptr)
            {
                auto& items = (*live)->track->items;
                items.erase (std::find (items.begin(), items.end(), *live));
            }

            return;
        }

        auto item = build (*target);

        // An item that is still there is replaced where it stands, keeping the track's order.
        if (live != nullptr)
            *live = std::move (item);
        else
            target->track->items.push_back (std::move (item));
    };

    // Undo walks the changes backwards, redo forwards.
    if (toAfter)
        std::for_each (changes.begin(), changes.end(), applyOne);
    else
        std::for_each (changes.rbegin(), changes.rend(), applyOne);
}
} // namespace reaper_host
