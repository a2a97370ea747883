#include "AudioFileWriter.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include <sndfile.h>

namespace reaper_host
{
namespace
{
int sndfileFormat (AudioFileFormat format)
{
    switch (format)
    {
        case AudioFileFormat::wav16:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        case AudioFileFormat::wav24:
            return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        case AudioFileFormat::wavFloat:
            return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        case AudioFileFormat::flac16:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFileFormat::aiff16:
            return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    }

    return 0;
}
} // namespace

bool writeAudioFile (const std::string& path, AudioFileFormat format, int sampleRate, int channels, std::int64_t frames)
{
    if (sampleRate <= 0 || channels <= 0 || frames < 0)
        return false;

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = sndfileFormat (format);

    SNDFILE* file = sf_open (path.c_str(), SFM_WRITE, &info);

    if (file == nullptr)
        return false;

    constexpr std::int64_t blockFrames = 4096;
    std::vector<float> block ((size_t) (blockFrames * channels));
    const double step = 2.0 * 3.141592653589793 * 440.0 / sampleRate;
    bool ok = true;

    for (std::int64_t done = 0; done < frames && ok;)
    {
        const auto count = std::min (blockFrames, frames - done);

        for (std::int64_t f = 0; f < count; ++f)
            for (int c = 0; c < channels; ++c)
                block[(size_t) (f * channels + c)] = 0.25f * (float) std::sin (step * (double) (done + f));

        ok = sf_writef_float (file, block.data(), count) == count;
        done += count;
    }

    ok = sf_close (file) == 0 && ok;

    if (!ok)
        std::remove (path.c_str());

    return ok;
}
} // namespace reaper_host
