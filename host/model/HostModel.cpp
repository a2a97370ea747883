#include "HostModel.h"

#include <algorithm>

#include "FunctionTable.h"
#include "JournalFormat.h"
#include "MediaSource.h"
#include "PluginInterface.h"

namespace reaper_host
{
HostModel::HostModel()
    : mainThread (std::this_thread::get_id())
{
    // The project owns sources, whose destructors leave the registry of live sources. Making
    // sure that registry exists before the model does means it is destroyed after the model at
    // process exit, so sources still in the project are never destroyed into a dead registry.
    MediaSource::liveCount();
}

HostModel& HostModel::current()
{
    static HostModel model;
    return model;
}

void HostModel::reset()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    history.clear(); // it names tracks of the project about to go
    state = Project();
    calls.clear();
    injector.clear();
    withheld.clear();
    functionLookups.clear();
    labelCounters.clear();
    otherRegistrations.clear();
    virtualFiles.clear();
    messageBoxAnswer = 1;
    invalidHandleCalls = 0;
    mainThread = std::this_thread::get_id();
}

bool HostModel::undo()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    return history.undo (state);
}

bool HostModel::redo()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    return history.redo (state);
}

Track& HostModel::addTrack (const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    auto track = std::make_unique<Track>();
    track->label = nextLabel ("track");
    track->name = name;
    state.tracks.push_back (std::move (track));
    return *state.tracks.back();
}

Track* HostModel::track (int index)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    return index >= 0 && index < (int) state.tracks.size() ? state.tracks[(size_t) index].get() : nullptr;
}

void HostModel::selectTracks (const std::vector<int>& indices)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);

    for (size_t i = 0; i < state.tracks.size(); ++i)
        state.tracks[i]->selected = std::find (indices.begin(), indices.end(), (int) i) != indices.end();
}

Item& HostModel::addItem (Track& track, double position, double length)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    auto item = std::make_unique<Item>();
    item->label = nextLabel ("item");
    item->track = &track;
    item->position = position;
    item->length = length;
    track.items.push_back (std::move (item));
    history.itemAdded (*track.items.back());
    return *track.items.back();
}

Take& HostModel::addTake (Item& item, const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    history.itemReached (item);
    auto take = std::make_unique<Take>();
    take->label = nextLabel ("take");
    take->item = &item;
    take->name = name;
    item.takes.push_back (std::move (take));
    return *item.takes.back();
}

bool HostModel::setTakeSourceFromFile (Take& take, const std::string& path)
{
    auto source = openSource (path);

    if (source == nullptr)
        return false;

    std::lock_guard<std::recursive_mutex> guard (modelLock);
    take.source = std::move (source);
    return true;
}

void HostModel::setTakeSource (Take& take, std::unique_ptr<PCM_source> source)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);

    if (auto* ours = MediaSource::findLive (source.get()); ours != nullptr && ours->label.empty())
        ours->label = nextLabel ("source");

    take.source = std::move (source);
}

void HostModel::selectItem (Item& item, bool selected)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    item.selected = selected;
}

void HostModel::unselectAllItems()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);

    for (auto* item : allItems())
        item->selected = false;
}

void HostModel::setCursor (double seconds)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    state.cursor = seconds;
}

void HostModel::setTimeSelection (double start, double end)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    state.timeSelection = {start, end};
}

void HostModel::setProjectPath (const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    state.projectPath = path;
}

void HostModel::addVirtualAudioFile (const std::string& path, int sampleRate, int channels, std::int64_t frames)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    virtualFiles[path] = {sampleRate, channels, frames};
}

std::unique_ptr<MediaSource> HostModel::openSource (const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    auto found = virtualFiles.find (path);
    auto source = found != virtualFiles.end()
                      ? MediaSource::synthetic (path.c_str(), found->second.sampleRate, found->second.channels, found->second.frames)
                      : MediaSource::fromFile (path);

    if (source != nullptr)
        source->label = nextLabel ("source");

    return source;
}

std::vector<Track*> HostModel::selectedTracks()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    std::vector<Track*> result;

    for (auto& track : state.tracks)
        if (track->selected)
            result.push_back (track.get());

    return result;
}

std::vector<Item*> HostModel::selectedItems()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    std::vector<Item*> result;

    for (auto* item : allItems())
        if (item->selected)
            result.push_back (item);

    return result;
}

int HostModel::itemCount() const
{
    int count = 0;

    for (const auto& track : state.tracks)
        count += (int) track->items.size();

    return count;
}

std::vector<Item*> HostModel::allItems()
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    std::vector<Item*> result;

    for (auto& track : state.tracks)
        for (auto* item : track->itemsInTimelineOrder())
            result.push_back (item);

    return result;
}

Track* HostModel::findTrack (const MediaTrack* handle)
{
    if (handle == nullptr)
        return nullptr;

    for (auto& track : state.tracks)
        if (track->handle() == handle)
            return track.get();

    return nullptr;
}

Item* HostModel::findItem (const MediaItem* handle)
{
    if (handle == nullptr)
        return nullptr;

    for (auto& track : state.tracks)
        for (auto& item : track->items)
            if (item->handle() == handle)
            {
                history.itemReached (*item);
                return item.get();
            }

    return nullptr;
}

Take* HostModel::findTake (const MediaItem_Take* handle)
{
    if (handle == nullptr)
        return nullptr;

    for (auto& track : state.tracks)
        for (auto& item : track->items)
            for (auto& take : item->takes)
                if (take->handle() == handle)
                {
                    history.itemReached (*item);
                    return take.get();
                }

    return nullptr;
}

Take* HostModel::takeOwning (const PCM_source* source)
{
    if (source == nullptr)
        return nullptr;

    for (auto& track : state.tracks)
        for (auto& item : track->items)
            for (auto& take : item->takes)
                if (take->source.get() == source)
                    return take.get();

    return nullptr;
}

ReaProject* HostModel::projectHandle()
{
    return reinterpret_cast<ReaProject*> (&projectToken);
}

bool HostModel::isCurrentProject (const ReaProject* project)
{
    return project == nullptr || project == projectHandle();
}

std::string HostModel::describe (const MediaTrack* handle)
{
    if (auto* track = findTrack (handle))
        return track->label;

    return journal_format::unknownPointer (handle);
}

std::string HostModel::describe (const MediaItem* handle)
{
    if (auto* item = findItem (handle))
        return item->label;

    return journal_format::unknownPointer (handle);
}

std::string HostModel::describe (const MediaItem_Take* handle)
{
    if (auto* take = findTake (handle))
        return take->label;

    return journal_format::unknownPointer (handle);
}

std::string HostModel::describe (const PCM_source* source)
{
    if (auto* ours = MediaSource::findLive (source); ours != nullptr && !ours->label.empty())
        return ours->label;

    return journal_format::unknownPointer (source);
}

std::string HostModel::describe (const ReaProject* project)
{
    if (project == nullptr)
        return "null";

    return project == projectHandle() ? "project" : journal_format::unknownPointer (project);
}

std::string HostModel::nextLabel (const std::string& kind)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);

    for (auto& counter : labelCounters)
        if (counter.first == kind)
            return kind + std::to_string (++counter.second);

    labelCounters.emplace_back (kind, 1);
    return kind + "1";
}

void HostModel::withhold (const std::string& functionName)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    withheld.insert (functionName);
}

bool HostModel::isWithheld (const std::string& functionName) const
{
    return withheld.count (functionName) != 0;
}

void HostModel::recordLookup (const std::string& name)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    functionLookups.push_back (name);
}

reaper_plugin_info_t* HostModel::pluginInfo (int callerVersion)
{
    info.caller_version = callerVersion;
    info.hwnd_main = nullptr;
    info.Register = &registerWithHost;
    info.GetFunc = &getFunc;
    return &info;
}

bool HostModel::isMainThread() const
{
    return std::this_thread::get_id() == mainThread;
}

void HostModel::adoptMainThread (std::thread::id thread)
{
    std::lock_guard<std::recursive_mutex> guard (modelLock);
    mainThread = thread;
}
} // namespace reaper_host
