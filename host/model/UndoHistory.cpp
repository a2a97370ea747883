#include "UndoHistory.h"

namespace reaper_host
{
void UndoHistory::beginBlock (const Project& project)
{
    if (depth++ == 0)
        atOutermostBegin = save (project);
}

bool UndoHistory::endBlock (const Project& project, const std::string& description, int flags)
{
    if (depth == 0)
        return false;

    if (--depth > 0)
        return true;

    entries.resize (inEffect);
    entries.push_back ({{description, flags}, std::move (atOutermostBegin), save (project)});
    inEffect = entries.size();
    atOutermostBegin.clear();
    return true;
}

bool UndoHistory::undo (Project& project)
{
    if (depth > 0 || inEffect == 0)
        return false;

    restore (project, entries[--inEffect].before);
    return true;
}

bool UndoHistory::redo (Project& project)
{
    if (depth > 0 || inEffect == entries.size())
        return false;

    restore (project, entries[inEffect++].after);
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
    atOutermostBegin.clear();
}

UndoHistory::SavedItems UndoHistory::save (const Project& project)
{
    SavedItems saved;

    for (const auto& track : project.tracks)
    {
        SavedTrack savedTrack{track.get(), {}};

        for (const auto& item : track->items)
        {
            SavedItem savedItem{item->label, *item, {}};

            for (const auto& take : item->takes)
            {
                std::optional<MediaSource::Saved> source;

                if (const auto* ours = MediaSource::findLive (take->source.get()))
                    source = ours->save();

                savedItem.takes.push_back ({take->label, *take, std::move (source)});
            }

            savedTrack.items.push_back (std::move (savedItem));
        }

        saved.push_back (std::move (savedTrack));
    }

    return saved;
}

void UndoHistory::restore (Project& project, const SavedItems& saved)
{
    for (const auto& savedTrack : saved)
    {
        Track* track = nullptr;

        for (auto& candidate : project.tracks)
            if (candidate.get() == savedTrack.track)
                track = candidate.get();

        if (track == nullptr)
            continue;

        track->items.clear();

        for (const auto& savedItem : savedTrack.items)
        {
            auto item = std::make_unique<Item>();
            static_cast<ItemProperties&> (*item) = savedItem.properties;
            item->label = savedItem.label;
            item->track = track;

            for (const auto& savedTake : savedItem.takes)
            {
                auto take = std::make_unique<Take>();
                static_cast<TakeProperties&> (*take) = savedTake.properties;
                take->label = savedTake.label;
                take->item = item.get();

                if (savedTake.source)
                    take->source = MediaSource::restore (*savedTake.source);

                item->takes.push_back (std::move (take));
            }

            track->items.push_back (std::move (item));
        }
    }
}
} // namespace reaper_host
