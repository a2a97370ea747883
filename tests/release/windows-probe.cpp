// A DLL linked as the Windows module is, for the self-test of check-windows-module.py: the
// definition file given decides whether its second function is exported too, and linking
// libstdc++'s import library first makes it import from libstdc++-6.dll.

#include <string>

extern "C" int ReaperPluginEntry (void*, void* rec)
{
    static std::string state;
    state = rec != nullptr ? "loaded" : "unloaded";
    return static_cast<int> (state.size());
}

extern "C" int SecondExport()
{
    return 2;
}
