#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "HostCall.h"
#include "HostFunctions.h"

namespace reaper_host::api
{
namespace fmt = journal_format;

namespace
{
// Copies text into a caller's buffer of buf_sz bytes, always NUL-terminated, cut short
// when it does not fit (REAPER's lstrcpyn behaviour).
void copyTruncated (const std::string& text, char* buf, int buf_sz)
{
    if (buf == nullptr || buf_sz <= 0)
        return;

    const auto count = std::min (text.size(), static_cast<size_t> (buf_sz - 1));
    std::memcpy (buf, text.data(), count);
    buf[count] = 0;
}

void loopTimeRange (HostCall& call, ReaProject* proj, bool isSet, bool isLoop, double* start, double* end)
{
    auto& model = call.model;

    if (!model.isCurrentProject (proj))
    {
        call.invalidHandle();
        return;
    }

    auto& range = isLoop ? model.project().loopPoints : model.project().timeSelection;

    if (isSet)
    {
        if (start != nullptr && end != nullptr && std::isfinite (*start) && std::isfinite (*end))
            range = {std::min (*start, *end), std::max (*start, *end)};

        return;
    }

    if (start != nullptr)
        *start = range.start;

    if (end != nullptr)
        *end = range.end;

    call.returns (0, "start=" + fmt::number (range.start) + ", end=" + fmt::number (range.end));
}

std::string rangeArg (bool isSet, const double* value)
{
    if (value == nullptr)
        return "null";

    return isSet ? fmt::number (*value) : "out";
}
} // namespace

int CountTracks (ReaProject* proj)
{
    HostCall call ("CountTracks");
    call.arg (call.model.describe (proj));

    if (!call.model.isCurrentProject (proj))
    {
        call.invalidHandle();
        return call.returns (0, "0");
    }

    const int count = (int) call.model.project().tracks.size();
    return call.returns (count, std::to_string (count));
}

MediaTrack* GetTrack (ReaProject* proj, int trackidx)
{
    HostCall call ("GetTrack");
    call.arg (call.model.describe (proj)).arg (trackidx);

    if (call.injectedFailure())
        return call.returns<MediaTrack*> (nullptr, "null");

    auto* track = call.model.isCurrentProject (proj) ? call.model.track (trackidx) : nullptr;
    return track != nullptr ? call.returns (track->handle(), track->label) : call.returns<MediaTrack*> (nullptr, "null");
}

MediaTrack* GetSelectedTrack (ReaProject* proj, int seltrackidx)
{
    HostCall call ("GetSelectedTrack");
    call.arg (call.model.describe (proj)).arg (seltrackidx);

    if (call.injectedFailure() || !call.model.isCurrentProject (proj))
        return call.returns<MediaTrack*> (nullptr, "null");

    const auto selected = call.model.selectedTracks();

    if (seltrackidx < 0 || seltrackidx >= (int) selected.size())
        return call.returns<MediaTrack*> (nullptr, "null");

    auto* track = selected[(size_t) seltrackidx];
    return call.returns (track->handle(), track->label);
}

int CountSelectedMediaItems (ReaProject* proj)
{
    HostCall call ("CountSelectedMediaItems");
    call.arg (call.model.describe (proj));

    if (!call.model.isCurrentProject (proj))
    {
        call.invalidHandle();
        return call.returns (0, "0");
    }

    const int count = (int) call.model.selectedItems().size();
    return call.returns (count, std::to_string (count));
}

MediaItem* GetSelectedMediaItem (ReaProject* proj, int selitem)
{
    HostCall call ("GetSelectedMediaItem");
    call.arg (call.model.describe (proj)).arg (selitem);

    if (call.injectedFailure() || !call.model.isCurrentProject (proj))
        return call.returns<MediaItem*> (nullptr, "null");

    const auto selected = call.model.selectedItems();

    if (selitem < 0 || selitem >= (int) selected.size())
        return call.returns<MediaItem*> (nullptr, "null");

    auto* item = selected[(size_t) selitem];
    return call.returns (item->handle(), item->label);
}

ReaProject* EnumProjects (int idx, char* projfnOutOptional, int projfnOutOptional_sz)
{
    HostCall call ("EnumProjects");
    call.arg (idx).arg (projfnOutOptional != nullptr ? std::string ("out") : std::string ("null")).arg (projfnOutOptional_sz);

    // One project is open: index 0, or -1 for the current one.
    if (call.injectedFailure() || (idx != 0 && idx != -1))
        return call.returns<ReaProject*> (nullptr, "null");

    copyTruncated (call.model.project().projectFile, projfnOutOptional, projfnOutOptional_sz);
    return call.returns (call.model.projectHandle(), "project");
}

double GetCursorPosition()
{
    HostCall call ("GetCursorPosition");
    const double cursor = call.model.project().cursor;
    return call.returns (cursor, fmt::number (cursor));
}

void SetEditCurPos (double time, bool moveview, bool seekplay)
{
    HostCall call ("SetEditCurPos");
    call.arg (time).arg (moveview).arg (seekplay);

    // The edit cursor cannot stand before the project start.
    if (std::isfinite (time))
        call.model.project().cursor = std::max (0.0, time);
}

void GetProjectPath (char* buf, int buf_sz)
{
    HostCall call ("GetProjectPath");
    call.arg (buf != nullptr ? std::string ("out") : std::string ("null")).arg (buf_sz);
    const auto& path = call.model.project().projectPath;
    copyTruncated (path, buf, buf_sz);
    call.returns (0, fmt::quoted (path.c_str()));
}

void GetSet_LoopTimeRange (bool isSet, bool isLoop, double* start, double* end, bool allowautoseek)
{
    HostCall call ("GetSet_LoopTimeRange");
    call.arg (isSet).arg (isLoop).arg (rangeArg (isSet, start)).arg (rangeArg (isSet, end)).arg (allowautoseek);
    loopTimeRange (call, nullptr, isSet, isLoop, start, end);
}

void GetSet_LoopTimeRange2 (ReaProject* proj, bool isSet, bool isLoop, double* start, double* end, bool allowautoseek)
{
    HostCall call ("GetSet_LoopTimeRange2");
    call.arg (call.model.describe (proj)).arg (isSet).arg (isLoop).arg (rangeArg (isSet, start)).arg (rangeArg (isSet, end)).arg (allowautoseek);
    loopTimeRange (call, proj, isSet, isLoop, start, end);
}

void Main_OnCommand (int command, int flag)
{
    HostCall call ("Main_OnCommand");
    call.arg (command).arg (flag);

    if (!call.injectedFailure())
        call.model.project().actions.push_back ({command, flag});
}

void UpdateArrange()
{
    HostCall call ("UpdateArrange");
    ++call.model.project().arrangeRedraws;
}

void UpdateTimeline()
{
    HostCall call ("UpdateTimeline");
    ++call.model.project().timelineRedraws;
}

HWND OpenMediaExplorer (const char* mediafn, bool play)
{
    HostCall call ("OpenMediaExplorer");
    call.arg (fmt::quoted (mediafn)).arg (play);

    if (call.injectedFailure())
        return call.returns<HWND> (nullptr, "null");

    call.model.project().explorerRequests.push_back ({mediafn != nullptr ? std::string (mediafn, ::strnlen (mediafn, ExplorerRequest::kLongestFile)) : "", play});

    // The Media Explorer's window: any stable non-null handle, never dereferenced.
    static int explorerWindow = 0;
    return call.returns (reinterpret_cast<HWND> (&explorerWindow), "explorer");
}

int ShowMessageBox (const char* msg, const char* title, int type)
{
    HostCall call ("ShowMessageBox");
    call.arg (fmt::quoted (msg)).arg (fmt::quoted (title)).arg (type);
    auto& model = call.model;
    model.project().messageBoxes.push_back ({msg != nullptr ? msg : "", title != nullptr ? title : "", type});

    if (model.echoMessageBoxes)
        std::fprintf (stderr, "[message box] %s: %s\n", title != nullptr ? title : "", msg != nullptr ? msg : "");

    return call.returns (model.messageBoxAnswer, std::to_string (model.messageBoxAnswer));
}
} // namespace reaper_host::api
