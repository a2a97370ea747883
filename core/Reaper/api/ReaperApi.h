#pragma once

#include "api/ReaperFunctions.h"

// The extension's function table: one process-wide pointer per REAPER function it uses
// (ReaperFunctions.h). All are null until the load call binds them (see ApiBinding.h);
// nothing clears them.
namespace reaper
{
#define BV_DECLARE_POINTER(returnType, name, parameters) extern returnType (*name) parameters;
BV_REAPER_FUNCTIONS (BV_DECLARE_POINTER)
#undef BV_DECLARE_POINTER

// What an undo point covers (the extra flags that end an undo block): media items.
constexpr int UNDO_STATE_ITEMS = 4;
} // namespace reaper
