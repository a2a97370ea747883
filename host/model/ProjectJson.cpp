#include "ProjectJson.h"

#include "MediaSource.h"

namespace reaper_host
{
namespace
{
nlohmann::json sourceToJson (HostModel& model, PCM_source* source)
{
    if (source == nullptr)
        return nullptr;

    const char* fileName = source->GetFileName();
    return {
        {"label", model.describe (source)},
        {"file", fileName != nullptr ? nlohmann::json (fileName) : nlohmann::json (nullptr)},
        {"type", source->GetType()},
        {"sampleRate", source->GetSampleRate()},
        {"channels", source->GetNumChannels()},
        {"length", source->GetLength()},
    };
}

nlohmann::json takeToJson (HostModel& model, Take& take)
{
    return {
        {"label", take.label},
        {"name", take.name},
        {"startOffset", take.startOffset},
        {"playRate", take.playRate},
        {"preservePitch", take.preservePitch},
        {"volume", take.volume},
        {"pan", take.pan},
        {"pitch", take.pitch},
        {"source", sourceToJson (model, take.source.get())},
    };
}

nlohmann::json itemToJson (HostModel& model, Item& item)
{
    auto takes = nlohmann::json::array();

    for (auto& take : item.takes)
        takes.push_back (takeToJson (model, *take));

    return {
        {"label", item.label},
        {"position", item.position},
        {"length", item.length},
        {"loopSource", item.loopSource},
        {"selected", item.selected},
        {"mute", item.mute},
        {"volume", item.volume},
        {"activeTake", item.activeTake},
        {"takes", takes},
    };
}
} // namespace

nlohmann::json projectToJson (HostModel& model)
{
    std::lock_guard<std::recursive_mutex> guard (model.lock());
    auto& project = model.project();
    auto tracks = nlohmann::json::array();

    for (auto& track : project.tracks)
    {
        auto items = nlohmann::json::array();

        for (auto* item : track->itemsInTimelineOrder())
            items.push_back (itemToJson (model, *item));

        tracks.push_back ({{"label", track->label}, {"name", track->name}, {"selected", track->selected}, {"items", items}});
    }

    auto actions = nlohmann::json::array();

    for (const auto& action : project.actions)
        actions.push_back ({{"command", action.command}, {"flag", action.flag}});

    auto explorer = nlohmann::json::array();

    for (const auto& request : project.explorerRequests)
        explorer.push_back ({{"file", request.file}, {"play", request.play}});

    auto boxes = nlohmann::json::array();

    for (const auto& box : project.messageBoxes)
        boxes.push_back ({{"title", box.title}, {"message", box.message}, {"type", box.type}});

    return {
        {"projectPath", project.projectPath},
        {"projectFile", project.projectFile},
        {"cursor", project.cursor},
        {"timeSelection", {{"start", project.timeSelection.start}, {"end", project.timeSelection.end}}},
        {"loopPoints", {{"start", project.loopPoints.start}, {"end", project.loopPoints.end}}},
        {"tracks", tracks},
        {"actions", actions},
        {"mediaExplorer", explorer},
        {"messageBoxes", boxes},
        {"timelineRedraws", project.timelineRedraws},
        {"arrangeRedraws", project.arrangeRedraws},
        {"registeredTimers", model.timers().count()},
        {"liveSources", MediaSource::liveCount()},
        {"hostCalls", model.journal().totalCount()},
        {"hostCallsOffMainThread", model.journal().offMainThreadCount()},
    };
}
} // namespace reaper_host
