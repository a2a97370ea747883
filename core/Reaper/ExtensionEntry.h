#pragma once

#include "api/ReaperTypes.h"

// What ReaperPluginEntry does: with a record, check the host, bind its functions and
// create the bridge (1 when loaded, 0 when refused); without one, destroy the bridge (0).
int handlePluginEntry (reaper_plugin_info_t* rec);
