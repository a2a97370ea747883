#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Take.h"
#include "api/ReaperTypes.h"

namespace reaper_host
{
class Track;

// What an item is apart from its takes and its identity; an undo point saves a copy.
struct ItemProperties
{
    double position = 0; // D_POSITION, seconds
    double length = 0;   // D_LENGTH, seconds
    // REAPER's default preference loops the source of new items, so a new item starts
    // with B_LOOPSRC set; callers that want no looping must clear it.
    bool loopSource = true;
    bool selected = false; // B_UISEL
    bool mute = false;     // B_MUTE
    double volume = 1;     // D_VOL of the item
    int activeTake = 0;    // I_CURTAKE
};

inline bool operator== (const ItemProperties& a, const ItemProperties& b)
{
    return a.position == b.position && a.length == b.length && a.loopSource == b.loopSource && a.selected == b.selected
           && a.mute == b.mute && a.volume == b.volume && a.activeTake == b.activeTake;
}

// One media item on a track: where it sits, how long it is, and its takes.
class Item : public ItemProperties
{
public:
    MediaItem* handle()
    {
        return reinterpret_cast<MediaItem*> (this);
    }

    Take* activeTakeOrNull()
    {
        return activeTake >= 0 && activeTake < (int) takes.size() ? takes[(size_t) activeTake].get() : nullptr;
    }

    std::string label; // stable journal name, e.g. "item1"
    Track* track = nullptr;
    std::vector<std::unique_ptr<Take>> takes;
};
} // namespace reaper_host
