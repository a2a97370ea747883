// The library's only exported symbol: REAPER calls it once at load with its plug-in
// information record and once at unload with none.

#include "ExtensionEntry.h"

extern "C" __attribute__ ((visibility ("default"))) int ReaperPluginEntry (void* /*hInstance*/, reaper_plugin_info_t* rec)
{
    return handlePluginEntry (rec);
}
