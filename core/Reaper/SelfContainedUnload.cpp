// Only in the self-contained module, which carries its own protobuf and C++ runtime: both
// allocate at load what they expect to keep until the process ends (protobuf its list of
// what to delete at shutdown, the C++ runtime its emergency buffer for exceptions thrown
// when memory runs out, about 72 KB). A module is unloaded long before that, and a host
// that loads it again would keep each load's copy: they are given back here, at dlclose.

#include <google/protobuf/stubs/common.h>

#if defined(__GLIBCXX__)
// The C++ runtime's own "free what you hold" (what leak checkers call at exit). Weak: a
// runtime without it leaves the address null.
namespace __gnu_cxx
{
void __freeres() noexcept __attribute__ ((weak));
}
#endif

namespace
{
// Constructed before the module's other static objects, so destroyed after all of them:
// nothing of the module uses protobuf or throws after this destructor. The extension itself
// (the bridge, the pipe, the logger) is already gone, with REAPER's unload call.
struct ReleasedAtUnload
{
    ReleasedAtUnload() = default;
    ReleasedAtUnload (const ReleasedAtUnload&) = delete;
    ReleasedAtUnload& operator= (const ReleasedAtUnload&) = delete;

    ~ReleasedAtUnload()
    {
        google::protobuf::ShutdownProtobufLibrary();

#if defined(__GLIBCXX__)
        if (__gnu_cxx::__freeres != nullptr)
            __gnu_cxx::__freeres();
#endif
    }
};

__attribute__ ((init_priority (101))) ReleasedAtUnload releasedAtUnload;
} // namespace
