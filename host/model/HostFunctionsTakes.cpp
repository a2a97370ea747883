#include <cstring>

#include "HostCall.h"
#include "HostFunctions.h"
#include "MediaSource.h"
#include "PropertyAccess.h"

namespace reaper_host::api
{
namespace fmt = journal_format;

namespace
{
double* doubleProperty (Take& take, const char* parmname)
{
    if (is (parmname, "D_STARTOFFS"))
        return &take.startOffset;
    if (is (parmname, "D_PLAYRATE"))
        return &take.playRate;
    if (is (parmname, "D_VOL"))
        return &take.volume;
    if (is (parmname, "D_PAN"))
        return &take.pan;
    if (is (parmname, "D_PITCH"))
        return &take.pitch;
    return nullptr;
}
} // namespace

NumberField numberField (Take& take, const char* parmname)
{
    NumberField field;
    field.number = doubleProperty (take, parmname);
    field.flag = field.number == nullptr && is (parmname, "B_PPITCH") ? &take.preservePitch : nullptr;
    return field;
}

MediaItem_Take* AddTakeToMediaItem (MediaItem* item)
{
    HostCall call ("AddTakeToMediaItem");
    call.arg (call.model.describe (item));

    if (call.injectedFailure())
        return call.returns<MediaItem_Take*> (nullptr, "null");

    auto* found = call.model.findItem (item);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns<MediaItem_Take*> (nullptr, "null");
    }

    auto& take = call.model.addTake (*found);
    return call.returns (take.handle(), take.label);
}

MediaItem_Take* GetMediaItemTake (MediaItem* item, int tk)
{
    HostCall call ("GetMediaItemTake");
    call.arg (call.model.describe (item)).arg (tk);
    auto* found = call.model.findItem (item);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns<MediaItem_Take*> (nullptr, "null");
    }

    if (call.injectedFailure() || tk < 0 || tk >= (int) found->takes.size())
        return call.returns<MediaItem_Take*> (nullptr, "null");

    auto& take = *found->takes[(size_t) tk];
    return call.returns (take.handle(), take.label);
}

double GetMediaItemTakeInfo_Value (MediaItem_Take* take, const char* parmname)
{
    HostCall call ("GetMediaItemTakeInfo_Value");
    call.arg (call.model.describe (take)).arg (fmt::quoted (parmname));
    return getInfoValue (call, call.model.findTake (take), parmname);
}

bool SetMediaItemTakeInfo_Value (MediaItem_Take* take, const char* parmname, double newvalue)
{
    HostCall call ("SetMediaItemTakeInfo_Value");
    call.arg (call.model.describe (take)).arg (fmt::quoted (parmname)).arg (newvalue);
    return setInfoValue (call, call.model.findTake (take), parmname, newvalue);
}

void* GetSetMediaItemTakeInfo (MediaItem_Take* tk, const char* parmname, void* setNewValue)
{
    HostCall call ("GetSetMediaItemTakeInfo");
    call.arg (call.model.describe (tk)).arg (fmt::quoted (parmname));
    auto* found = call.model.findTake (tk);

    if (found == nullptr)
    {
        call.arg (setNewValue != nullptr ? "value" : "null");
        call.invalidHandle();
        return call.returns<void*> (nullptr, "null");
    }

    // Set: copy the caller's value in; both ways: answer the address of the field.
    if (is (parmname, "P_NAME"))
    {
        call.arg (setNewValue != nullptr ? fmt::quoted (static_cast<const char*> (setNewValue)) : std::string ("null"));

        if (setNewValue != nullptr)
            found->name = static_cast<const char*> (setNewValue);

        return call.returns<void*> (const_cast<char*> (found->name.c_str()), fmt::quoted (found->name.c_str()));
    }

    if (auto* number = doubleProperty (*found, parmname))
        return getSetNumber (call, number, setNewValue);

    if (is (parmname, "B_PPITCH"))
        return getSetFlag (call, &found->preservePitch, setNewValue);

    call.arg (setNewValue != nullptr ? "value" : "null");

    // Read-only pointers; setting them this way is not supported by the model.
    if (setNewValue == nullptr && is (parmname, "P_SOURCE"))
        return call.returns<void*> (found->source.get(), call.model.describe (found->source.get()));

    if (setNewValue == nullptr && is (parmname, "P_ITEM"))
        return call.returns<void*> (found->item->handle(), found->item->label);

    return call.returns<void*> (nullptr, "null");
}

bool GetSetMediaItemTakeInfo_String (MediaItem_Take* tk, const char* parmname, char* stringNeedBig, bool setNewValue)
{
    HostCall call ("GetSetMediaItemTakeInfo_String");
    call.arg (call.model.describe (tk)).arg (fmt::quoted (parmname));
    call.arg (setNewValue ? fmt::quoted (stringNeedBig) : std::string (stringNeedBig != nullptr ? "out" : "null")).arg (setNewValue);
    auto* found = call.model.findTake (tk);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    if (!is (parmname, "P_NAME") || stringNeedBig == nullptr || call.injectedFailure())
        return call.returns (false, "false");

    if (setNewValue)
    {
        found->name = stringNeedBig;
        return call.returns (true, "true");
    }

    // REAPER's contract: the caller's buffer is big enough for any take name.
    std::memcpy (stringNeedBig, found->name.c_str(), found->name.size() + 1);
    return call.returns (true, "true, " + fmt::quoted (found->name.c_str()));
}

PCM_source* GetMediaItemTake_Source (MediaItem_Take* take)
{
    HostCall call ("GetMediaItemTake_Source");
    call.arg (call.model.describe (take));
    auto* found = call.model.findTake (take);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns<PCM_source*> (nullptr, "null");
    }

    if (call.injectedFailure() || found->source == nullptr)
        return call.returns<PCM_source*> (nullptr, "null");

    return call.returns (found->source.get(), call.model.describe (found->source.get()));
}

bool SetMediaItemTake_Source (MediaItem_Take* take, PCM_source* source)
{
    HostCall call ("SetMediaItemTake_Source");
    call.arg (call.model.describe (take)).arg (call.model.describe (source));
    auto* found = call.model.findTake (take);

    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    if (source == nullptr || call.injectedFailure())
        return call.returns (false, "false");

    if (found->source.get() == source)
        return call.returns (true, "true");

    // Only a live source that no take owns yet can be taken over; anything else would
    // end in a double delete or a dangling pointer. A refused source stays the caller's.
    if (MediaSource::findLive (source) == nullptr || call.model.takeOwning (source) != nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    found->source.reset (source);
    return call.returns (true, "true");
}
} // namespace reaper_host::api
