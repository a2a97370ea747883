#include "MediaSource.h"

#include <mutex>
#include <set>

#include <sndfile.h>

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

std::string typeOfFormat (int format)
{
    switch (format & SF_FORMAT_TYPEMASK)
    {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_RF64:
            return "WAVE";
        case SF_FORMAT_FLAC:
            return "FLAC";
        case SF_FORMAT_AIFF:
            return "AIFF";
        case SF_FORMAT_OGG:
            return "VORBIS";
        default:
            return "AUDIO";
    }
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
    SF_INFO info{};
    SNDFILE* file = sf_open (path.c_str(), SFM_READ, &info);

    if (file == nullptr)
        return false;

    sf_close (file);

    if (info.samplerate <= 0 || info.channels <= 0)
        return false;

    fileName = path;
    hasFileName = true;
    type = typeOfFormat (info.format);
    sampleRate = info.samplerate;
    channels = info.channels;
    frames = info.frames;
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
