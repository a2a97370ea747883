#include "host/ReaperApi.h"

namespace reaper
{
MediaItem* (*AddMediaItemToTrack) (MediaTrack*) = nullptr;
MediaItem_Take* (*AddTakeToMediaItem) (MediaItem*) = nullptr;
int (*CountSelectedMediaItems) (ReaProject*) = nullptr;
int (*CountTracks) (ReaProject*) = nullptr;
ReaProject* (*EnumProjects) (int, char*, int) = nullptr;
double (*GetCursorPosition)() = nullptr;
double (*GetMediaItemInfo_Value) (MediaItem*, const char*) = nullptr;
MediaItem_Take* (*GetMediaItemTake) (MediaItem*, int) = nullptr;
PCM_source* (*GetMediaItemTake_Source) (MediaItem_Take*) = nullptr;
double (*GetMediaItemTakeInfo_Value) (MediaItem_Take*, const char*) = nullptr;
double (*GetMediaSourceLength) (PCM_source*, bool*) = nullptr;
int (*GetMediaSourceSampleRate) (PCM_source*) = nullptr;
void (*GetProjectPath) (char*, int) = nullptr;
MediaItem* (*GetSelectedMediaItem) (ReaProject*, int) = nullptr;
MediaTrack* (*GetSelectedTrack) (ReaProject*, int) = nullptr;
void (*GetSet_LoopTimeRange) (bool, bool, double*, double*, bool) = nullptr;
void (*GetSet_LoopTimeRange2) (ReaProject*, bool, bool, double*, double*, bool) = nullptr;
void* (*GetSetMediaItemInfo) (MediaItem*, const char*, void*) = nullptr;
void* (*GetSetMediaItemTakeInfo) (MediaItem_Take*, const char*, void*) = nullptr;
bool (*GetSetMediaItemTakeInfo_String) (MediaItem_Take*, const char*, char*, bool) = nullptr;
MediaTrack* (*GetTrack) (ReaProject*, int) = nullptr;
MediaItem* (*GetTrackMediaItem) (MediaTrack*, int) = nullptr;
int (*InsertMedia) (const char*, int) = nullptr;
void (*Main_OnCommand) (int, int) = nullptr;
HWND (*OpenMediaExplorer)
(const char*, bool) = nullptr;
PCM_source* (*PCM_Source_CreateFromFile) (const char*) = nullptr;
void (*SetEditCurPos) (double, bool, bool) = nullptr;
bool (*SetMediaItemInfo_Value) (MediaItem*, const char*, double) = nullptr;
bool (*SetMediaItemLength) (MediaItem*, double, bool) = nullptr;
bool (*SetMediaItemPosition) (MediaItem*, double, bool) = nullptr;
bool (*SetMediaItemTake_Source) (MediaItem_Take*, PCM_source*) = nullptr;
bool (*SetMediaItemTakeInfo_Value) (MediaItem_Take*, const char*, double) = nullptr;
void (*UpdateArrange)() = nullptr;
void (*UpdateItemInProject) (MediaItem*) = nullptr;
void (*UpdateTimeline)() = nullptr;

void (*Undo_BeginBlock2) (ReaProject*) = nullptr;
void (*Undo_EndBlock2) (ReaProject*, const char*, int) = nullptr;
void (*PreventUIRefresh) (int) = nullptr;
bool (*DeleteTrackMediaItem) (MediaTrack*, MediaItem*) = nullptr;
} // namespace reaper
