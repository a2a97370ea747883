#include "AudioFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <sndfile.h>

namespace reaper_host
{
namespace
{
constexpr double kTwoPi = 6.283185307179586;

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

// A sine from one frequency to another over the file's length, at a peak level, faded in
// and out over fadeFrames (0: no fades).
struct Sweep
{
    double from = 440.0;
    double to = 440.0;
    double gain = 0.25;
    std::int64_t fadeFrames = 0;
};

// Writes the sweep to every channel of a new file; the reason when it cannot, and then no
// file is left behind.
std::string writeSweep (const std::string& path, int format, int sampleRate, int channels, std::int64_t frames, const Sweep& sweep)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;

    SNDFILE* file = sf_open (path.c_str(), SFM_WRITE, &info);

    if (file == nullptr)
        return "cannot write " + path + ": " + sf_strerror (nullptr);

    constexpr std::int64_t blockFrames = 4096;
    std::vector<float> block ((size_t) (blockFrames * channels));
    double phase = 0;
    std::string problem;

    for (std::int64_t done = 0; done < frames && problem.empty();)
    {
        const auto count = std::min (blockFrames, frames - done);

        for (std::int64_t f = 0; f < count; ++f)
        {
            const auto i = done + f;
            const double frequency = sweep.from + (sweep.to - sweep.from) * ((double) i / (double) frames);
            const double fade = sweep.fadeFrames > 0 ? std::min ({1.0, (double) i / (double) sweep.fadeFrames, (double) (frames - 1 - i) / (double) sweep.fadeFrames})
                                                     : 1.0;
            const auto value = (float) (sweep.gain * fade * std::sin (phase));
            phase = std::fmod (phase + kTwoPi * frequency / sampleRate, kTwoPi);

            for (int c = 0; c < channels; ++c)
                block[(size_t) (f * channels + c)] = value;
        }

        if (sf_writef_float (file, block.data(), count) != count)
            problem = "cannot write " + path + ": " + sf_strerror (file);

        done += count;
    }

    if (sf_close (file) != 0 && problem.empty())
        problem = "cannot write " + path + ": it could not be closed";

    if (!problem.empty())
        std::remove (path.c_str());

    return problem;
}

std::string checkSettings (const ToneSettings& s)
{
    if (!(s.seconds > 0 && s.seconds <= 600))
        return "the length must be more than 0 and at most 600 seconds";
    if (s.sampleRate < 8000 || s.sampleRate > 192000)
        return "the sample rate must be between 8000 and 192000 Hz";
    if (s.channels < 1 || s.channels > 8)
        return "there must be 1 to 8 channels";
    if (!(s.frequency > 0 && s.frequency < s.sampleRate / 2.0) || !(s.sweepTo >= 0 && s.sweepTo < s.sampleRate / 2.0))
        return "frequencies must be above 0 and below half the sample rate";
    if (!(s.gain > 0 && s.gain <= 1))
        return "the gain must be above 0 and at most 1";
    return {};
}
} // namespace

bool writeAudioFile (const std::string& path, AudioFileFormat format, int sampleRate, int channels, std::int64_t frames)
{
    if (sampleRate <= 0 || channels <= 0 || frames < 0)
        return false;

    return writeSweep (path, sndfileFormat (format), sampleRate, channels, frames, Sweep{}).empty();
}

std::string writeTone (const std::string& path, const ToneSettings& settings)
{
    if (auto problem = checkSettings (settings); !problem.empty())
        return problem;

    Sweep sweep;
    sweep.from = settings.frequency;
    sweep.to = settings.sweepTo > 0 ? settings.sweepTo : settings.frequency;
    sweep.gain = settings.gain;
    sweep.fadeFrames = std::max<std::int64_t> (1, (std::int64_t) (0.01 * settings.sampleRate)); // 10 ms

    const auto frames = (std::int64_t) std::llround (settings.seconds * settings.sampleRate);
    return writeSweep (path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, settings.sampleRate, settings.channels, frames, sweep);
}
} // namespace reaper_host
