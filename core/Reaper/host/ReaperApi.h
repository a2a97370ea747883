#pragma once

#include "host/ReaperTypes.h"

// The host API table: one process-wide pointer per REAPER function the extension uses.
// All are null until the load call binds them (see ApiBinding.h); nothing clears them.
namespace reaper
{
// --- Required: a host that lacks any of these is refused ----------------------------
extern MediaItem* (*AddMediaItemToTrack) (MediaTrack* tr);
extern MediaItem_Take* (*AddTakeToMediaItem) (MediaItem* item);
extern int (*CountSelectedMediaItems) (ReaProject* proj);
extern int (*CountTracks) (ReaProject* proj);
extern ReaProject* (*EnumProjects) (int idx, char* projfnOutOptional, int projfnOutOptional_sz);
extern double (*GetCursorPosition)();
extern double (*GetMediaItemInfo_Value) (MediaItem* item, const char* parmname);
extern MediaItem_Take* (*GetMediaItemTake) (MediaItem* item, int tk);
extern PCM_source* (*GetMediaItemTake_Source) (MediaItem_Take* take);
extern double (*GetMediaItemTakeInfo_Value) (MediaItem_Take* take, const char* parmname);
extern double (*GetMediaSourceLength) (PCM_source* source, bool* lengthIsQNOut);
extern int (*GetMediaSourceSampleRate) (PCM_source* source);
extern void (*GetProjectPath) (char* buf, int buf_sz);
extern MediaItem* (*GetSelectedMediaItem) (ReaProject* proj, int selitem);
extern MediaTrack* (*GetSelectedTrack) (ReaProject* proj, int seltrackidx);
extern void (*GetSet_LoopTimeRange) (bool isSet, bool isLoop, double* start, double* end, bool allowautoseek);
extern void (*GetSet_LoopTimeRange2) (ReaProject* proj, bool isSet, bool isLoop, double* start, double* end, bool allowautoseek);
extern void* (*GetSetMediaItemInfo) (MediaItem* item, const char* parmname, void* setNewValue);
extern void* (*GetSetMediaItemTakeInfo) (MediaItem_Take* tk, const char* parmname, void* setNewValue);
extern bool (*GetSetMediaItemTakeInfo_String) (MediaItem_Take* tk, const char* parmname, char* stringNeedBig, bool setNewValue);
extern MediaTrack* (*GetTrack) (ReaProject* proj, int trackidx);
extern MediaItem* (*GetTrackMediaItem) (MediaTrack* tr, int itemidx);
extern int (*InsertMedia) (const char* file, int mode);
extern void (*Main_OnCommand) (int command, int flag);
extern HWND (*OpenMediaExplorer) (const char* mediafn, bool play);
extern PCM_source* (*PCM_Source_CreateFromFile) (const char* filename);
extern void (*SetEditCurPos) (double time, bool moveview, bool seekplay);
extern bool (*SetMediaItemInfo_Value) (MediaItem* item, const char* parmname, double newvalue);
extern bool (*SetMediaItemLength) (MediaItem* item, double length, bool refreshUI);
extern bool (*SetMediaItemPosition) (MediaItem* item, double position, bool refreshUI);
extern bool (*SetMediaItemTake_Source) (MediaItem_Take* take, PCM_source* source);
extern bool (*SetMediaItemTakeInfo_Value) (MediaItem_Take* take, const char* parmname, double newvalue);
extern void (*UpdateArrange)();
extern void (*UpdateItemInProject) (MediaItem* item);
extern void (*UpdateTimeline)();

// --- Optional: bound after the required ones, null where the host lacks them ----------
extern void (*Undo_BeginBlock2) (ReaProject* proj);
extern void (*Undo_EndBlock2) (ReaProject* proj, const char* descchange, int extraflags);
extern void (*PreventUIRefresh) (int prevent_count);
extern bool (*DeleteTrackMediaItem) (MediaTrack* tr, MediaItem* it);

// What an undo point covers (Undo_EndBlock2's extraflags): media items.
constexpr int UNDO_STATE_ITEMS = 4;
} // namespace reaper
