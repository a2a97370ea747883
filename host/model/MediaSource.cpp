#include "MediaSource.h"

#include <mutex>
#include <set>

#include "AudioFileReader.h"

namespace reaper_host
{
namespace
{
std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::set<const PCM_source*>& registry()
{
    static std::set<const PCM_source*> live;
    return live;
}
} // namespace

MediaSource::MediaSource()
{
    std::lock_guard<std::mutex> guard (registryLock());
    registry().insert (this);
}

MediaSource::~MediaSource()
{
    std::lock_guard<std::mutex> guard (registryLock());
    registry().erase (this);
}

std::unique_ptr<MediaSource> MediaSource::fromFile (const std::string& path)
{
    std::unique_ptr<MediaSource> source (new MediaSource());

    if (!source->open (path))
        return nullptr;

    return source;
}

std::unique_ptr<MediaSource> MediaSource::synthetic (const char* fileName, int sampleRate, int channels, std::int64_t frames)
{
    std::unique_ptr<MediaSource> source (new MediaSource());
    source->hasFileName = fileName != nullptr;
    source->fileName = fileName != nullptr ? fileName : "";
    source->sampleRate = sampleRate;
    source->channels = channels;
    source->frames = frames;
    return source;
}

bool MediaSource::open (const std::string& path)
{
    const auto info = readAudioFileInfo (path);

    if (!info)
        return false;

    fileName = path;
    hasFileName = true;
    type = info->type;
    sampleRate = info->sampleRate;
    channels = info->channels;
    frames = info->frames;
    return true;
}

PCM_source* MediaSource::Duplicate()
{
    auto copy = synthetic (hasFileName ? fileName.c_str() : nullptr, sampleRate, channels, frames);
    copy->type = type;
    copy->available = available;
    return copy.release();
}

MediaSource::Saved MediaSource::save() const
{
    return {label, hasFileName, fileName, type, sampleRate, channels, frames, available};
}

std::unique_ptr<MediaSource> MediaSource::restore (const Saved& saved)
{
    std::unique_ptr<MediaSource> source (new MediaSource());
    source->label = saved.label;
    source->hasFileName = saved.hasFileName;
    source->fileName = saved.fileName;
    source->type = saved.type;
    source->sampleRate = saved.sampleRate;
    source->channels = saved.channels;
    source->frames = saved.frames;
    source->available = saved.available;
    return source;
}

bool MediaSource::IsAvailable()
{
    return available;
}

void MediaSource::SetAvailable (bool avail)
{
    available = avail;
}

const char* MediaSource::GetType()
{
    return type.c_str();
}

const char* MediaSource::GetFileName()
{
    return hasFileName ? fileName.c_str() : nullptr;
}

bool MediaSource::SetFileName (const char* newfn)
{
    return newfn != nullptr && open (newfn);
}

PCM_source* MediaSource::GetSource()
{
    return nullptr;
}

void MediaSource::SetSource (PCM_source*)
{
}

int MediaSource::GetNumChannels()
{
    return channels;
}

double MediaSource::GetSampleRate()
{
    return sampleRate;
}

double MediaSource::GetLength()
{
    return sampleRate > 0 ? static_cast<double> (frames) / sampleRate : 0.0;
}

int MediaSource::liveCount()
{
    std::lock_guard<std::mutex> guard (registryLock());
    return static_cast<int> (registry().size());
}

MediaSource* MediaSource::findLive (const PCM_source* source)
{
    std::lock_guard<std::mutex> guard (registryLock());
    return registry().count (source) != 0 ? static_cast<MediaSource*> (const_cast<PCM_source*> (source)) : nullptr;
}
} // namespace reaper_host
