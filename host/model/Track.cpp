#include "Track.h"

#include <algorithm>

namespace reaper_host
{
std::vector<Item*> Track::itemsInTimelineOrder() const
{
    std::vector<Item*> ordered;
    ordered.reserve (items.size());

    for (const auto& item : items)
        ordered.push_back (item.get());

    std::stable_sort (ordered.begin(), ordered.end(), [] (const Item* a, const Item* b)
                      { return a->position < b->position; });
    return ordered;
}
} // namespace reaper_host
