#include "FunctionTable.h"

#include <cstring>

#include "HostFunctions.h"
#include "HostModel.h"

namespace reaper_host
{
namespace
{
struct Entry
{
    const char* name;
    void* function;
};

#define BV_HOST_FN(fn)                           \
    {                                            \
#fn, reinterpret_cast < void*>(&api::fn) \
    }

const Entry entries[] = {
    BV_HOST_FN (AddMediaItemToTrack),
    BV_HOST_FN (AddTakeToMediaItem),
    BV_HOST_FN (CountSelectedMediaItems),
    BV_HOST_FN (CountTracks),
    BV_HOST_FN (EnumProjects),
    BV_HOST_FN (GetCursorPosition),
    BV_HOST_FN (GetMediaItemInfo_Value),
    BV_HOST_FN (GetMediaItemTake),
    BV_HOST_FN (GetMediaItemTake_Source),
    BV_HOST_FN (GetMediaItemTakeInfo_Value),
    BV_HOST_FN (GetMediaSourceLength),
    BV_HOST_FN (GetMediaSourceSampleRate),
    BV_HOST_FN (GetProjectPath),
    BV_HOST_FN (GetSelectedMediaItem),
    BV_HOST_FN (GetSelectedTrack),
    BV_HOST_FN (GetSet_LoopTimeRange),
    BV_HOST_FN (GetSet_LoopTimeRange2),
    BV_HOST_FN (GetSetMediaItemInfo),
    BV_HOST_FN (GetSetMediaItemTakeInfo),
    BV_HOST_FN (GetSetMediaItemTakeInfo_String),
    BV_HOST_FN (GetTrack),
    BV_HOST_FN (GetTrackMediaItem),
    BV_HOST_FN (InsertMedia),
    BV_HOST_FN (Main_OnCommand),
    BV_HOST_FN (OpenMediaExplorer),
    BV_HOST_FN (PCM_Source_CreateFromFile),
    BV_HOST_FN (SetEditCurPos),
    BV_HOST_FN (SetMediaItemInfo_Value),
    BV_HOST_FN (SetMediaItemLength),
    BV_HOST_FN (SetMediaItemPosition),
    BV_HOST_FN (SetMediaItemTake_Source),
    BV_HOST_FN (SetMediaItemTakeInfo_Value),
    BV_HOST_FN (UpdateArrange),
    BV_HOST_FN (UpdateItemInProject),
    BV_HOST_FN (UpdateTimeline),
    BV_HOST_FN (ShowMessageBox),
    BV_HOST_FN (Undo_BeginBlock2),
    BV_HOST_FN (Undo_EndBlock2),
    BV_HOST_FN (PreventUIRefresh),
    BV_HOST_FN (DeleteTrackMediaItem),
};

#undef BV_HOST_FN
} // namespace

void* getFunc (const char* name)
{
    if (name == nullptr)
        return nullptr;

    auto& model = HostModel::current();
    model.recordLookup (name);

    if (model.isWithheld (name))
        return nullptr;

    for (const auto& entry : entries)
        if (std::strcmp (entry.name, name) == 0)
            return entry.function;

    return nullptr;
}

const std::vector<std::string>& hostFunctionNames()
{
    static const std::vector<std::string> names = []
    {
        std::vector<std::string> result;

        for (const auto& entry : entries)
            result.emplace_back (entry.name);

        return result;
    }();

    return names;
}
} // namespace reaper_host
