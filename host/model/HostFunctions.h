#pragma once

#include "api/ReaperFunctions.h"

// The stand-in host's implementations of REAPER's functions, with REAPER's signatures.
// Each acts on HostModel::current() and writes one journal entry. A null project means
// the current project. Handles the model does not know are refused (null, false or 0),
// where REAPER would crash, so a test sees the mistake instead of a dead process.
// Project, tracks and selection in HostFunctionsProject.cpp, items in HostFunctionsItems.cpp,
// takes in HostFunctionsTakes.cpp, sources in HostFunctionsSources.cpp, undo points and
// redraw batching in HostFunctionsUndo.cpp.
namespace reaper_host::api
{
#define BV_DECLARE_HOST_FUNCTION(returnType, name, parameters) returnType name parameters;
BV_REAPER_FUNCTIONS (BV_DECLARE_HOST_FUNCTION)
#undef BV_DECLARE_HOST_FUNCTION
} // namespace reaper_host::api
