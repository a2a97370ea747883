#pragma once

#include "api/ReaperTypes.h"

// Every REAPER function the extension binds, written once, with REAPER's own name and
// signature: X (return type, name, (parameters)). The extension's function table, its
// binding at load, the stand-in host's implementations and the benchmarks' call timer are
// all made from these lists.

// Required: a host that lacks any of these is refused. Looked up in this order at load.
// Six are bound but never called: EnumProjects, GetSet_LoopTimeRange, GetSetMediaItemInfo,
// GetTrackMediaItem, InsertMedia and UpdateArrange. They stay required so that a host is
// checked as before: one that lacks any of them is still refused.
#define BV_REAPER_REQUIRED_FUNCTIONS(X)                                                                       \
    X (MediaItem*, AddMediaItemToTrack, (MediaTrack * tr))                                                    \
    X (MediaItem_Take*, AddTakeToMediaItem, (MediaItem * item))                                               \
    X (int, CountSelectedMediaItems, (ReaProject * proj))                                                     \
    X (int, CountTracks, (ReaProject * proj))                                                                 \
    X (ReaProject*, EnumProjects, (int idx, char* projfnOutOptional, int projfnOutOptional_sz))               \
    X (double, GetCursorPosition, ())                                                                         \
    X (double, GetMediaItemInfo_Value, (MediaItem * item, const char* parmname))                              \
    X (MediaItem_Take*, GetMediaItemTake, (MediaItem * item, int tk))                                         \
    X (PCM_source*, GetMediaItemTake_Source, (MediaItem_Take * take))                                         \
    X (double, GetMediaItemTakeInfo_Value, (MediaItem_Take * take, const char* parmname))                     \
    X (double, GetMediaSourceLength, (PCM_source * source, bool* lengthIsQNOut))                              \
    X (int, GetMediaSourceSampleRate, (PCM_source * source))                                                  \
    X (void, GetProjectPath, (char* buf, int buf_sz))                                                         \
    X (MediaItem*, GetSelectedMediaItem, (ReaProject * proj, int selitem))                                    \
    X (MediaTrack*, GetSelectedTrack, (ReaProject * proj, int seltrackidx))                                   \
    X (void, GetSet_LoopTimeRange, (bool isSet, bool isLoop, double* start, double* end, bool allowautoseek)) \
    X (void, GetSet_LoopTimeRange2,                                                                           \
       (ReaProject * proj, bool isSet, bool isLoop, double* start, double* end, bool allowautoseek))          \
    X (void*, GetSetMediaItemInfo, (MediaItem * item, const char* parmname, void* setNewValue))               \
    X (void*, GetSetMediaItemTakeInfo, (MediaItem_Take * tk, const char* parmname, void* setNewValue))        \
    X (bool, GetSetMediaItemTakeInfo_String,                                                                  \
       (MediaItem_Take * tk, const char* parmname, char* stringNeedBig, bool setNewValue))                    \
    X (MediaTrack*, GetTrack, (ReaProject * proj, int trackidx))                                              \
    X (MediaItem*, GetTrackMediaItem, (MediaTrack * tr, int itemidx))                                         \
    X (int, InsertMedia, (const char* file, int mode))                                                        \
    X (void, Main_OnCommand, (int command, int flag))                                                         \
    X (HWND, OpenMediaExplorer, (const char* mediafn, bool play))                                             \
    X (PCM_source*, PCM_Source_CreateFromFile, (const char* filename))                                        \
    X (void, SetEditCurPos, (double time, bool moveview, bool seekplay))                                      \
    X (bool, SetMediaItemInfo_Value, (MediaItem * item, const char* parmname, double newvalue))               \
    X (bool, SetMediaItemLength, (MediaItem * item, double length, bool refreshUI))                           \
    X (bool, SetMediaItemPosition, (MediaItem * item, double position, bool refreshUI))                       \
    X (bool, SetMediaItemTake_Source, (MediaItem_Take * take, PCM_source * source))                           \
    X (bool, SetMediaItemTakeInfo_Value, (MediaItem_Take * take, const char* parmname, double newvalue))      \
    X (void, UpdateArrange, ())                                                                               \
    X (void, UpdateItemInProject, (MediaItem * item))                                                         \
    X (void, UpdateTimeline, ())

// Optional: bound after the required ones; null where the host lacks them, and each user
// of one checks its pointer. REAPER has had them for long, but their absence must not
// refuse the load.
#define BV_REAPER_OPTIONAL_FUNCTIONS(X)                                                   \
    X (void, Undo_BeginBlock2, (ReaProject * proj))                                       \
    X (void, Undo_EndBlock2, (ReaProject * proj, const char* descchange, int extraflags)) \
    X (void, PreventUIRefresh, (int prevent_count))                                       \
    X (bool, DeleteTrackMediaItem, (MediaTrack * tr, MediaItem * it))

// Looked up only when needed: the alert shown when the host is refused.
#define BV_REAPER_ON_DEMAND_FUNCTIONS(X) X (int, ShowMessageBox, (const char* msg, const char* title, int type))

#define BV_REAPER_FUNCTIONS(X)       \
    BV_REAPER_REQUIRED_FUNCTIONS (X) \
    BV_REAPER_OPTIONAL_FUNCTIONS (X) \
    BV_REAPER_ON_DEMAND_FUNCTIONS (X)
