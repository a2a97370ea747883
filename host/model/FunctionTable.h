#pragma once

#include <string>
#include <vector>

// REAPER's GetFunc for the stand-in host: the address of a host function by name.
namespace reaper_host
{
// The function with REAPER's name and signature, or null when the model does not have
// it or it was withheld (HostModel::withhold). Records every lookup.
void* getFunc (const char* name);

// Every name getFunc can answer: each function the extension uses (api/ReaperFunctions.h),
// required, optional and looked up on demand.
const std::vector<std::string>& hostFunctionNames();
} // namespace reaper_host
