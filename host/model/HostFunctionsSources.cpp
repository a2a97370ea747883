#include "HostCall.h"
#include "HostFunctions.h"
#include "MediaSource.h"

namespace reaper_host::api
{
namespace fmt = journal_format;

namespace
{
// A source the host may call into: a live MediaSource or one a take owns.
PCM_source* knownSource (HostModel& model, PCM_source* source)
{
    if (source == nullptr)
        return nullptr;

    if (MediaSource::findLive (source) != nullptr || model.takeOwning (source) != nullptr)
        return source;

    return nullptr;
}
} // namespace

PCM_source* PCM_Source_CreateFromFile (const char* filename)
{
    HostCall call ("PCM_Source_CreateFromFile");
    call.arg (fmt::quoted (filename));

    if (filename == nullptr || call.injectedFailure())
        return call.returns<PCM_source*> (nullptr, "null");

    auto source = MediaSource::fromFile (filename);

    if (source == nullptr)
        return call.returns<PCM_source*> (nullptr, "null");

    source->label = call.model.nextLabel ("source");
    const auto label = source->label;
    return call.returns<PCM_source*> (source.release(), label);
}

double GetMediaSourceLength (PCM_source* source, bool* lengthIsQNOut)
{
    HostCall call ("GetMediaSourceLength");
    call.arg (call.model.describe (source)).arg (lengthIsQNOut != nullptr ? "out" : "null");
    auto* known = knownSource (call.model, source);

    if (known == nullptr)
    {
        if (source != nullptr)
            call.invalidHandle();

        return call.returns (0.0, "0");
    }

    // Audio file lengths are in seconds, never in quarter notes.
    if (lengthIsQNOut != nullptr)
        *lengthIsQNOut = false;

    const double length = known->GetLength();
    return call.returns (length, fmt::number (length));
}

int GetMediaSourceSampleRate (PCM_source* source)
{
    HostCall call ("GetMediaSourceSampleRate");
    call.arg (call.model.describe (source));
    auto* known = knownSource (call.model, source);

    if (known == nullptr)
    {
        if (source != nullptr)
            call.invalidHandle();

        return call.returns (0, "0");
    }

    const int rate = static_cast<int> (known->GetSampleRate());
    return call.returns (rate, std::to_string (rate));
}

int InsertMedia (const char* file, int mode)
{
    HostCall call ("InsertMedia");
    call.arg (fmt::quoted (file)).arg (mode);

    if (file == nullptr || call.injectedFailure())
        return call.returns (0, "0");

    auto source = MediaSource::fromFile (file);

    if (source == nullptr)
        return call.returns (0, "0");

    auto& model = call.model;

    // Mode 1 adds a new track; otherwise the item goes on the first selected track,
    // else the first track, and a project without tracks gets one.
    Track* track = nullptr;

    if ((mode & 0xff) != 1)
    {
        const auto selected = model.selectedTracks();
        track = !selected.empty() ? selected.front() : model.track (0);
    }

    if (track == nullptr)
        track = &model.addTrack();

    const double cursor = model.project().cursor;
    const double length = source->GetLength();
    auto& item = model.addItem (*track, cursor, length);
    const std::string path (file);
    auto& take = model.addTake (item, path.substr (path.find_last_of ('/') + 1));
    source->label = model.nextLabel ("source");
    model.setTakeSource (take, std::move (source));
    model.project().cursor = cursor + length;
    return call.returns (1, "1");
}
} // namespace reaper_host::api
