#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CallJournal.h"
#include "FaultInjector.h"
#include "MediaSource.h"
#include "Project.h"
#include "TimerRegistry.h"
#include "UndoHistory.h"
#include "api/ReaperTypes.h"

namespace reaper_host
{
// The stand-in REAPER of this process: the open project, the host functions' call
// journal, fault injection and the extensions' registrations. REAPER is one per
// process, so there is one current model, which every host function acts on.
class HostModel
{
public:
    static HostModel& current();

    // An empty, unsaved project with no tracks; clears the journal, the undo history, the
    // faults, the withheld names, the lookups and the labels. Timer registrations survive, as they
    // do when REAPER opens a new project; clear them with timers().clear().
    // The calling thread becomes the host's main thread.
    void reset();

    Project& project()
    {
        return state;
    }

    // --- Project setup (for tests and the console program) ---------------------------
    Track& addTrack (const std::string& name = {});
    Track* track (int index);
    // Exactly the tracks at these indices end up selected.
    void selectTracks (const std::vector<int>& indices);
    Item& addItem (Track& track, double position, double length);
    Take& addTake (Item& item, const std::string& name = {});
    // Gives the take a source opened from the file; false when it is not audio.
    bool setTakeSourceFromFile (Take& take, const std::string& path);
    void setTakeSource (Take& take, std::unique_ptr<PCM_source> source);
    void selectItem (Item& item, bool selected = true);
    void unselectAllItems();
    void setCursor (double seconds);
    void setTimeSelection (double start, double end);
    void setProjectPath (const std::string& path);

    // Makes the functions that open a media file open this path as audio of these
    // properties without a file on disk, as REAPER opens a file it can still reach
    // although the path no longer names one. Cleared by reset().
    void addVirtualAudioFile (const std::string& path, int sampleRate, int channels, std::int64_t frames);

    // A source for the path: a virtual file's, else the audio file's there; null when
    // neither can be had. Labelled for the journal.
    std::unique_ptr<MediaSource> openSource (const std::string& path);

    // --- Inspection --------------------------------------------------------------------
    std::vector<Track*> selectedTracks();
    std::vector<Item*> selectedItems(); // in REAPER's order: by track, then timeline
    int itemCount() const;
    std::vector<Item*> allItems();

    Track* findTrack (const MediaTrack* handle);
    Item* findItem (const MediaItem* handle);
    Take* findTake (const MediaItem_Take* handle);
    Take* takeOwning (const PCM_source* source);

    ReaProject* projectHandle();
    // Null and this model's own project handle both mean the current project.
    bool isCurrentProject (const ReaProject* project);

    // Journal names for handles: the object's label, "null", or "unknown@0x...".
    std::string describe (const MediaTrack* handle);
    std::string describe (const MediaItem* handle);
    std::string describe (const MediaItem_Take* handle);
    std::string describe (const PCM_source* source);
    std::string describe (const ReaProject* project);

    // Next stable label of a kind: "track" -> "track1", "track2", ...
    std::string nextLabel (const std::string& kind);

    CallJournal& journal()
    {
        return calls;
    }

    FaultInjector& faults()
    {
        return injector;
    }

    TimerRegistry& timers()
    {
        return timerRegistry;
    }

    UndoHistory& undoHistory()
    {
        return history;
    }

    // REAPER's Edit > Undo and Redo: false, changing nothing, when there is nothing to
    // undo (redo) or an undo block is open.
    bool undo();
    bool redo();

    // --- Host interface ------------------------------------------------------------------
    // Makes GetFunc answer null for this name, as an older REAPER would.
    void withhold (const std::string& functionName);
    bool isWithheld (const std::string& functionName) const;

    // Every name asked of GetFunc, in order.
    const std::vector<std::string>& lookups() const
    {
        return functionLookups;
    }
    void recordLookup (const std::string& name);

    // The record to pass to ReaperPluginEntry; Register and GetFunc act on this model.
    reaper_plugin_info_t* pluginInfo (int callerVersion = kReaperPluginVersion);

    // Names registered through Register other than "timer"/"-timer", e.g. "hookcommand".
    std::vector<std::string> otherRegistrations;

    // What the message box answers, and whether it also prints the message to stderr.
    int messageBoxAnswer = 1;
    bool echoMessageBoxes = true;

    // Host calls made with a handle the model does not know (freed or foreign).
    int invalidHandleCalls = 0;

    bool isMainThread() const;
    // Host calls from any thread but this one are marked as off the main thread.
    void adoptMainThread (std::thread::id thread);

    std::recursive_mutex& lock()
    {
        return modelLock;
    }

private:
    HostModel();

    std::recursive_mutex modelLock;
    Project state;
    CallJournal calls;
    FaultInjector injector;
    TimerRegistry timerRegistry;
    UndoHistory history;
    std::set<std::string> withheld;

    struct VirtualFile
    {
        int sampleRate;
        int channels;
        std::int64_t frames;
    };

    std::map<std::string, VirtualFile> virtualFiles;
    std::vector<std::string> functionLookups;
    std::vector<std::pair<std::string, int>> labelCounters;
    reaper_plugin_info_t info{};
    int projectToken = 0; // its address is the project handle
    std::thread::id mainThread;
};
} // namespace reaper_host
