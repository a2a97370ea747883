// A minimal REAPER extension for the host's tests. It checks the record's version,
// registers a timer and, on every tick, calls UpdateArrange so the host model counts the
// ticks. BV_TEST_EXTENSION_MODE changes its behaviour:
//   refuse      - answer 0 after registering its timer, as a faulty extension might
//   leak-timer  - do not unregister the timer at unload
//   add-items   - also add one item to the first track on each of the first 3 ticks
#include <cstdlib>
#include <cstring>

#include "api/ReaperTypes.h"

namespace
{
int (*registerFn) (const char*, void*) = nullptr;
void (*updateArrange)() = nullptr;
MediaTrack* (*getTrack) (ReaProject*, int) = nullptr;
MediaItem* (*addItem) (MediaTrack*) = nullptr;
const char* mode = "";
int ticks = 0;

bool modeIs (const char* name)
{
    return std::strcmp (mode, name) == 0;
}

void onTimer()
{
    ++ticks;
    updateArrange();

    if (modeIs ("add-items") && ticks <= 3)
        addItem (getTrack (nullptr, 0));
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) int ReaperPluginEntry (void*, reaper_plugin_info_t* rec)
{
    if (rec == nullptr)
    {
        if (registerFn != nullptr && !modeIs ("leak-timer"))
            registerFn ("-timer", reinterpret_cast<void*> (&onTimer));

        return 0;
    }

    if (rec->caller_version != kReaperPluginVersion || rec->GetFunc == nullptr)
        return 0;

    const char* requested = std::getenv ("BV_TEST_EXTENSION_MODE");
    mode = requested != nullptr ? requested : "";
    ticks = 0;
    registerFn = rec->Register;
    updateArrange = reinterpret_cast<void (*)()> (rec->GetFunc ("UpdateArrange"));
    getTrack = reinterpret_cast<MediaTrack* (*) (ReaProject*, int)> (rec->GetFunc ("GetTrack"));
    addItem = reinterpret_cast<MediaItem* (*) (MediaTrack*)> (rec->GetFunc ("AddMediaItemToTrack"));

    if (updateArrange == nullptr || getTrack == nullptr || addItem == nullptr)
        return 0;

    registerFn ("timer", reinterpret_cast<void*> (&onTimer));
    return modeIs ("refuse") ? 0 : 1;
}
