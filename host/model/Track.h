#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Item.h"
#include "api/ReaperTypes.h"

namespace reaper_host
{
// One track of the project, with its selection state and its items in creation order.
class Track
{
public:
    MediaTrack* handle()
    {
        return reinterpret_cast<MediaTrack*> (this);
    }

    // Items in timeline order (by position; equal positions keep creation order),
    // which is the order REAPER enumerates them in.
    std::vector<Item*> itemsInTimelineOrder() const;

    std::string label; // stable journal name, e.g. "track1"
    std::string name;
    bool selected = false;
    std::vector<std::unique_ptr<Item>> items;
};
} // namespace reaper_host
