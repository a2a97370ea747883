#pragma once

// REAPER's extension-interface types, declared from REAPER's public ABI.
// Shared by the extension and by anything that plays REAPER's part (the stand-in host).

struct ReaProject;
struct MediaTrack;
struct MediaItem;
struct MediaItem_Take;
struct HWND__;
typedef HWND__* HWND;

// REAPER's lookup of a host function's address by name.
using HostGetFunc = void* (*) (const char* name);

// REAPER's media source. Only the order of the virtual functions matters: with the
// Itanium C++ ABI it fixes the vtable slots that REAPER's own objects use. The
// extension calls GetFileName and, for a source no take accepted, the destructor.
class PCM_source
{
public:
    virtual ~PCM_source()
    {
    }

    virtual PCM_source* Duplicate() = 0;
    virtual bool IsAvailable() = 0;
    virtual void SetAvailable (bool avail) = 0;
    virtual const char* GetType() = 0;
    virtual const char* GetFileName() = 0;
    virtual bool SetFileName (const char* newfn) = 0;
    virtual PCM_source* GetSource() = 0;
    virtual void SetSource (PCM_source* src) = 0;
    virtual int GetNumChannels() = 0;
    virtual double GetSampleRate() = 0;
    virtual double GetLength() = 0;
};

// The record REAPER passes to ReaperPluginEntry; member order is REAPER's.
struct reaper_plugin_info_t
{
    int caller_version;
    HWND hwnd_main;
    int (*Register) (const char* name, void* infostruct);
    HostGetFunc GetFunc;
};

// The plug-in interface version this extension was written against.
constexpr int kReaperPluginVersion = 0x20E;

extern "C" typedef int (*ReaperPluginEntryFn) (void* hInstance, reaper_plugin_info_t* rec);
