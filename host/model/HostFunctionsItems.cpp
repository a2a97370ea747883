#include <cmath>

#include "HostCall.h"
#include "HostFunctions.h"
#include "PropertyAccess.h"

namespace reaper_host::api
{
namespace fmt = journal_format;

namespace
{
// The item's number-valued property by REAPER's key; null for keys the model lacks.
double* doubleProperty (Item& item, const char* parmname)
{
    if (is (parmname, "D_POSITION"))
        return &item.position;
    if (is (parmname, "D_LENGTH"))
        return &item.length;
    if (is (parmname, "D_VOL"))
        return &item.volume;
    return nullptr;
}

bool* boolProperty (Item& item, const char* parmname)
{
    if (is (parmname, "B_LOOPSRC"))
        return &item.loopSource;
    if (is (parmname, "B_UISEL"))
        return &item.selected;
    if (is (parmname, "B_MUTE"))
        return &item.mute;
    return nullptr;
}
} // namespace

NumberField numberField (Item& item, const char* parmname)
{
    NumberField field;
    field.number = doubleProperty (item, parmname);
    field.flag = field.number == nullptr ? boolProperty (item, parmname) : nullptr;
    field.index = !field.exists() && is (parmname, "I_CURTAKE") ? &item.activeTake : nullptr;
    return field;
}

MediaItem* AddMediaItemToTrack (MediaTrack* tr)
{
    HostCall call ("AddMediaItemToTrack");
    call.arg (call.model.describe (tr));

    if (call.injectedFailure())
        return call.returns<MediaItem*> (nullptr, "null");

    auto* track = call.model.findTrack (tr);

    if (track == nullptr)
    {
        call.invalidHandle();
        return call.returns<MediaItem*> (nullptr, "null");
    }

    // A new item is empty: no takes, at the project start, zero length.
    auto& item = call.model.addItem (*track, 0.0, 0.0);
    return call.returns (item.handle(), item.label);
}

MediaItem* GetTrackMediaItem (MediaTrack* tr, int itemidx)
{
    HostCall call ("GetTrackMediaItem");
    call.arg (call.model.describe (tr)).arg (itemidx);
    auto* track = call.model.findTrack (tr);

    if (track == nullptr)
    {
        call.invalidHandle();
        return call.returns<MediaItem*> (nullptr, "null");
    }

    const auto items = track->itemsInTimelineOrder();

    if (call.injectedFailure() || itemidx < 0 || itemidx >= (int) items.size())
        return call.returns<MediaItem*> (nullptr, "null");

    return call.returns (items[(size_t) itemidx]->handle(), items[(size_t) itemidx]->label);
}

double GetMediaItemInfo_Value (MediaItem* item, const char* parmname)
{
    HostCall call ("GetMediaItemInfo_Value");
    call.arg (call.model.describe (item)).arg (fmt::quoted (parmname));
    return getInfoValue (call, call.model.findItem (item), parmname);
}

bool SetMediaItemInfo_Value (MediaItem* item, const char* parmname, double newvalue)
{
    HostCall call ("SetMediaItemInfo_Value");
    call.arg (call.model.describe (item)).arg (fmt::quoted (parmname)).arg (newvalue);
    return setInfoValue (call, call.model.findItem (item), parmname, newvalue);
}

void* GetSetMediaItemInfo (MediaItem* item, const char* parmname, void* setNewValue)
{
    HostCall call ("GetSetMediaItemInfo");
    call.arg (call.model.describe (item)).arg (fmt::quoted (parmname));
    auto* found = call.model.findItem (item);

    if (found == nullptr)
    {
        call.arg (setNewValue != nullptr ? "value" : "null");
        call.invalidHandle();
        return call.returns<void*> (nullptr, "null");
    }

    // Set: copy the caller's value in; both ways: answer the address of the field.
    if (auto* number = doubleProperty (*found, parmname))
        return getSetNumber (call, number, setNewValue);

    if (auto* flag = boolProperty (*found, parmname))
        return getSetFlag (call, flag, setNewValue);

    call.arg (setNewValue != nullptr ? "value" : "null");

    if (is (parmname, "I_CURTAKE"))
    {
        if (setNewValue != nullptr)
            found->activeTake = *static_cast<int*> (setNewValue);

        return call.returns<void*> (&found->activeTake, std::to_string (found->activeTake));
    }

    if (is (parmname, "P_TRACK") && setNewValue == nullptr)
        return call.returns<void*> (found->track->handle(), found->track->label);

    return call.returns<void*> (nullptr, "null");
}

bool SetMediaItemLength (MediaItem* item, double length, bool refreshUI)
{
    HostCall call ("SetMediaItemLength");
    call.arg (call.model.describe (item)).arg (length).arg (refreshUI);
    auto* found = call.model.findItem (item);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    // A length that is not a finite, non-negative number of seconds is refused.
    if (call.injectedFailure() || !std::isfinite (length) || length < 0)
        return call.returns (false, "false");

    found->length = length;
    return call.returns (true, "true");
}

bool SetMediaItemPosition (MediaItem* item, double position, bool refreshUI)
{
    HostCall call ("SetMediaItemPosition");
    call.arg (call.model.describe (item)).arg (position).arg (refreshUI);
    auto* found = call.model.findItem (item);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    if (call.injectedFailure() || !std::isfinite (position))
        return call.returns (false, "false");

    found->position = position;
    return call.returns (true, "true");
}

void UpdateItemInProject (MediaItem* item)
{
    HostCall call ("UpdateItemInProject");
    call.arg (call.model.describe (item));
    auto* found = call.model.findItem (item);

    if (found == nullptr)
        call.invalidHandle();
    else
        call.model.project().itemUpdates.push_back (found->label);
}

bool DeleteTrackMediaItem (MediaTrack* tr, MediaItem* it)
{
    HostCall call ("DeleteTrackMediaItem");
    call.arg (call.model.describe (tr)).arg (call.model.describe (it));
    auto* track = call.model.findTrack (tr);
    auto* found = call.model.findItem (it);

    if (track == nullptr || found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    // REAPER removes an item only from the track it is on.
    if (call.injectedFailure() || found->track != track)
        return call.returns (false, "false");

    auto& items = track->items;

    for (auto position = items.begin(); position != items.end(); ++position)
    {
        if (position->get() == found)
        {
            items.erase (position); // its takes and their sources go with it
            break;
        }
    }

    return call.returns (true, "true");
}
} // namespace reaper_host::api
