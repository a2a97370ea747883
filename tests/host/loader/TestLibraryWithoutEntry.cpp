// A loadable library that is not a REAPER extension: it exports no ReaperPluginEntry.
extern "C" __attribute__ ((visibility ("default"))) int notAnExtension()
{
    return 42;
}
