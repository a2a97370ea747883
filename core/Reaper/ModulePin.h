#pragma once

#include "common/Outcome.h"

// Keeps this module mapped until the process ends, whatever unloads it: for code of ours that
// may still run after REAPER's unload call (a block already on the main queue, a thread still
// in a write). Fails with the loader's reason when it does not hold. [any thread]
namespace module_pin
{
Outcome keepMapped();
} // namespace module_pin
