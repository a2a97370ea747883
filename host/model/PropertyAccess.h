#pragma once

#include "HostCall.h"
#include "Item.h"
#include "Take.h"

// What REAPER's item functions and take functions do alike with a property named by its
// key: *Info_Value reads or changes it as a number, GetSetMedia*Info answers its address.
namespace reaper_host::api
{
// True when the key asked for is this one (a null key is none).
bool is (const char* parmname, const char* key);

// A property as *Info_Value sees it: a number, a flag (1 or 0) or an index; none of them
// for a key the object lacks.
struct NumberField
{
    double* number = nullptr;
    bool* flag = nullptr;
    int* index = nullptr;

    bool exists() const
    {
        return number != nullptr || flag != nullptr || index != nullptr;
    }

    // 0 when the field does not exist.
    double get() const;
    void set (double value) const;
};

NumberField numberField (Item& item, const char* parmname); // HostFunctionsItems.cpp
NumberField numberField (Take& take, const char* parmname); // HostFunctionsTakes.cpp

// Get*Info_Value on the object the handle names (null: an unknown handle).
template <typename Object>
double getInfoValue (HostCall& call, Object* found, const char* parmname)
{
    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (0.0, "0");
    }

    const double value = numberField (*found, parmname).get();
    return call.returns (value, journal_format::number (value));
}

// Set*Info_Value on the object the handle names (null: an unknown handle).
template <typename Object>
bool setInfoValue (HostCall& call, Object* found, const char* parmname, double newValue)
{
    if (found == nullptr)
    {
        call.invalidHandle();
        return call.returns (false, "false");
    }

    if (call.injectedFailure())
        return call.returns (false, "false");

    const auto field = numberField (*found, parmname);

    if (!field.exists())
        return call.returns (false, "false");

    field.set (newValue);
    return call.returns (true, "true");
}

// GetSetMedia*Info on a number or a flag field: the caller's value copied in when given,
// the field's address answered.
void* getSetNumber (HostCall& call, double* number, void* setNewValue);
void* getSetFlag (HostCall& call, bool* flag, void* setNewValue);
} // namespace reaper_host::api
