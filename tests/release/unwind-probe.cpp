// The smallest module that needs unwind tables: an exception thrown through a frame with a
// destructor to run and caught by the entry point. Linked for macOS exactly as the
// extension is (exported-symbols list, -dead_strip, the same link script), it shows
// whether the linker kept __eh_frame and __gcc_except_tab on each architecture.
#include <string>

namespace
{
struct Counted
{
    int& count;
    ~Counted()
    {
        ++count;
    }
};

__attribute__ ((noinline)) void throwThrough (int value, int& destroyed)
{
    Counted counted{destroyed};
    if (value > 0)
        throw std::string (static_cast<size_t> (value), 'x');
}
} // namespace

extern "C" __attribute__ ((visibility ("default"))) int ReaperPluginEntry (void*, void*)
{
    int destroyed = 0;
    try
    {
        throwThrough (3, destroyed);
    }
    catch (const std::string& thrown)
    {
        return static_cast<int> (thrown.size()) + destroyed;
    }
    return 0;
}
