#pragma once

#include "host/ReaperTypes.h"

// The stand-in host's implementations of REAPER's functions, with REAPER's signatures.
// Each acts on HostModel::current() and writes one journal entry. A null project means
// the current project. Handles the model does not know are refused (null, false or 0),
// where REAPER would crash, so a test sees the mistake instead of a dead process.
namespace reaper_host::api
{
// Project, tracks and selection (HostFunctionsProject.cpp)
int CountTracks (ReaProject* proj);
MediaTrack* GetTrack (ReaProject* proj, int trackidx);
MediaTrack* GetSelectedTrack (ReaProject* proj, int seltrackidx);
int CountSelectedMediaItems (ReaProject* proj);
MediaItem* GetSelectedMediaItem (ReaProject* proj, int selitem);
ReaProject* EnumProjects (int idx, char* projfnOutOptional, int projfnOutOptional_sz);
double GetCursorPosition();
void SetEditCurPos (double time, bool moveview, bool seekplay);
void GetProjectPath (char* buf, int buf_sz);
void GetSet_LoopTimeRange (bool isSet, bool isLoop, double* start, double* end, bool allowautoseek);
void GetSet_LoopTimeRange2 (ReaProject* proj, bool isSet, bool isLoop, double* start, double* end, bool allowautoseek);
void Main_OnCommand (int command, int flag);
void UpdateArrange();
void UpdateTimeline();
HWND OpenMediaExplorer (const char* mediafn, bool play);
int ShowMessageBox (const char* msg, const char* title, int type);

// Items (HostFunctionsItems.cpp)
MediaItem* AddMediaItemToTrack (MediaTrack* tr);
MediaItem* GetTrackMediaItem (MediaTrack* tr, int itemidx);
double GetMediaItemInfo_Value (MediaItem* item, const char* parmname);
bool SetMediaItemInfo_Value (MediaItem* item, const char* parmname, double newvalue);
void* GetSetMediaItemInfo (MediaItem* item, const char* parmname, void* setNewValue);
bool SetMediaItemLength (MediaItem* item, double length, bool refreshUI);
bool SetMediaItemPosition (MediaItem* item, double position, bool refreshUI);
void UpdateItemInProject (MediaItem* item);
bool DeleteTrackMediaItem (MediaTrack* tr, MediaItem* it);

// Takes (HostFunctionsTakes.cpp)
MediaItem_Take* AddTakeToMediaItem (MediaItem* item);
MediaItem_Take* GetMediaItemTake (MediaItem* item, int tk);
double GetMediaItemTakeInfo_Value (MediaItem_Take* take, const char* parmname);
bool SetMediaItemTakeInfo_Value (MediaItem_Take* take, const char* parmname, double newvalue);
void* GetSetMediaItemTakeInfo (MediaItem_Take* tk, const char* parmname, void* setNewValue);
bool GetSetMediaItemTakeInfo_String (MediaItem_Take* tk, const char* parmname, char* stringNeedBig, bool setNewValue);
PCM_source* GetMediaItemTake_Source (MediaItem_Take* take);
bool SetMediaItemTake_Source (MediaItem_Take* take, PCM_source* source);

// Sources (HostFunctionsSources.cpp)
PCM_source* PCM_Source_CreateFromFile (const char* filename);
double GetMediaSourceLength (PCM_source* source, bool* lengthIsQNOut);
int GetMediaSourceSampleRate (PCM_source* source);
int InsertMedia (const char* file, int mode);

// Undo points and redraw batching (HostFunctionsUndo.cpp)
void Undo_BeginBlock2 (ReaProject* proj);
void Undo_EndBlock2 (ReaProject* proj, const char* descchange, int extraflags);
void PreventUIRefresh (int prevent_count);
} // namespace reaper_host::api
