// A module that imports a function macOS 11.0 does not have (mach_task_is_self, added in
// 11.3) yet links against Zig's libSystem stubs, which describe 11.3: the import check
// must refuse it.
#include <mach/mach_init.h>

extern "C" __attribute__ ((visibility ("default"))) int ReaperPluginEntry (void*, void*)
{
    return mach_task_is_self (mach_task_self()) ? 1 : 0;
}
