#pragma once

#include <memory>
#include <string>

#include "api/ReaperTypes.h"

namespace reaper_host
{
class Item;

// A take's playback properties; an undo point saves a copy.
struct TakeProperties
{
    std::string name;           // P_NAME
    double startOffset = 0;     // D_STARTOFFS, seconds into the source
    double playRate = 1;        // D_PLAYRATE
    bool preservePitch = false; // B_PPITCH
    double volume = 1;          // D_VOL, linear gain
    double pan = 0;             // D_PAN
    double pitch = 0;           // D_PITCH, semitones
};

inline bool operator== (const TakeProperties& a, const TakeProperties& b)
{
    return a.name == b.name && a.startOffset == b.startOffset && a.playRate == b.playRate && a.preservePitch == b.preservePitch
           && a.volume == b.volume && a.pan == b.pan && a.pitch == b.pitch;
}

// One take of a media item: its playback properties and the source it owns.
class Take : public TakeProperties
{
public:
    MediaItem_Take* handle()
    {
        return reinterpret_cast<MediaItem_Take*> (this);
    }

    std::string label; // stable journal name, e.g. "take1"
    Item* item = nullptr;
    std::unique_ptr<PCM_source> source; // owned once the take accepted it as its source
};
} // namespace reaper_host
