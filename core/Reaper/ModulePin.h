#pragma once

// Keeps this module mapped until the process ends, whatever unloads it: for code of ours that
// may still run after REAPER's unload call (a block already on the main queue, a thread still
// in a write). True when it holds. [any thread]
namespace module_pin
{
bool keepMapped();
} // namespace module_pin
