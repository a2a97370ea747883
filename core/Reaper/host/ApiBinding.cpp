#include "host/ApiBinding.h"

#include <cstddef>

#include "host/ReaperApi.h"

namespace
{
struct Binding
{
    void** pointer;
    const char* name;
};

#define BV_BIND(fn)                                 \
    {                                               \
        reinterpret_cast<void**> (&reaper::fn), #fn \
    }

// Lookup order matters only for the order of GetFunc calls the host sees.
const Binding bindings[] = {
    BV_BIND (AddMediaItemToTrack),
    BV_BIND (AddTakeToMediaItem),
    BV_BIND (CountSelectedMediaItems),
    BV_BIND (CountTracks),
    BV_BIND (EnumProjects),
    BV_BIND (GetCursorPosition),
    BV_BIND (GetMediaItemInfo_Value),
    BV_BIND (GetMediaItemTake),
    BV_BIND (GetMediaItemTake_Source),
    BV_BIND (GetMediaItemTakeInfo_Value),
    BV_BIND (GetMediaSourceLength),
    BV_BIND (GetMediaSourceSampleRate),
    BV_BIND (GetProjectPath),
    BV_BIND (GetSelectedMediaItem),
    BV_BIND (GetSelectedTrack),
    BV_BIND (GetSet_LoopTimeRange),
    BV_BIND (GetSet_LoopTimeRange2),
    BV_BIND (GetSetMediaItemInfo),
    BV_BIND (GetSetMediaItemTakeInfo),
    BV_BIND (GetSetMediaItemTakeInfo_String),
    BV_BIND (GetTrack),
    BV_BIND (GetTrackMediaItem),
    BV_BIND (InsertMedia),
    BV_BIND (Main_OnCommand),
    BV_BIND (OpenMediaExplorer),
    BV_BIND (PCM_Source_CreateFromFile),
    BV_BIND (SetEditCurPos),
    BV_BIND (SetMediaItemInfo_Value),
    BV_BIND (SetMediaItemLength),
    BV_BIND (SetMediaItemPosition),
    BV_BIND (SetMediaItemTake_Source),
    BV_BIND (SetMediaItemTakeInfo_Value),
    BV_BIND (UpdateArrange),
    BV_BIND (UpdateItemInProject),
    BV_BIND (UpdateTimeline),
};

// Functions REAPER has had for long, but whose absence must not refuse the load: each
// user of one checks its pointer.
const Binding optionalBindings[] = {
    BV_BIND (Undo_BeginBlock2),
    BV_BIND (Undo_EndBlock2),
    BV_BIND (PreventUIRefresh),
    BV_BIND (DeleteTrackMediaItem),
};

#undef BV_BIND

static_assert (sizeof (bindings) / sizeof (bindings[0]) == 35, "REAPER binding table must have 35 entries");

template <std::size_t N>
int bindAll (const Binding (&table)[N], HostGetFunc getFunc)
{
    int missing = 0;

    for (const auto& binding : table)
    {
        *binding.pointer = getFunc (binding.name);

        if (*binding.pointer == nullptr)
            ++missing;
    }

    return missing;
}
} // namespace

int bindHostApi (HostGetFunc getFunc)
{
    return bindAll (bindings, getFunc);
}

int bindOptionalHostApi (HostGetFunc getFunc)
{
    return bindAll (optionalBindings, getFunc);
}

int hostApiEntryCount()
{
    return static_cast<int> (sizeof (bindings) / sizeof (bindings[0]));
}

const char* hostApiEntryName (int index)
{
    return (index >= 0 && index < hostApiEntryCount()) ? bindings[index].name : nullptr;
}
