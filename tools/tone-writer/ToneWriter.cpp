#include "ToneWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <sndfile.h>

namespace
{
constexpr double kTwoPi = 6.283185307179586;
constexpr double kFadeSeconds = 0.01;

// Owns an open libsndfile handle.
class SoundFile
{
public:
    SoundFile (const std::string& path, SF_INFO& info)
        : handle (sf_open (path.c_str(), SFM_WRITE, &info))
    {
    }

    ~SoundFile()
    {
        if (handle != nullptr)
            sf_close (handle);
    }

    SoundFile (const SoundFile&) = delete;
    SoundFile& operator= (const SoundFile&) = delete;

    SNDFILE* get() const
    {
        return handle;
    }

private:
    SNDFILE* handle;
};

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

std::string writeTone (const std::string& path, const ToneSettings& settings)
{
    if (auto problem = checkSettings (settings); !problem.empty())
        return problem;

    const auto frames = static_cast<sf_count_t> (std::llround (settings.seconds * settings.sampleRate));
    const auto fadeFrames = std::max<sf_count_t> (1, static_cast<sf_count_t> (kFadeSeconds * settings.sampleRate));
    const double endFrequency = settings.sweepTo > 0 ? settings.sweepTo : settings.frequency;

    std::vector<float> samples (static_cast<size_t> (frames * settings.channels));
    double phase = 0;

    for (sf_count_t i = 0; i < frames; ++i)
    {
        const double position = static_cast<double> (i) / static_cast<double> (frames);
        const double frequency = settings.frequency + (endFrequency - settings.frequency) * position;
        const double fade = std::min ({1.0, static_cast<double> (i) / fadeFrames, static_cast<double> (frames - 1 - i) / fadeFrames});
        const auto value = static_cast<float> (settings.gain * fade * std::sin (phase));
        phase = std::fmod (phase + kTwoPi * frequency / settings.sampleRate, kTwoPi);

        for (int c = 0; c < settings.channels; ++c)
            samples[static_cast<size_t> (i * settings.channels + c)] = value;
    }

    SF_INFO info{};
    info.samplerate = settings.sampleRate;
    info.channels = settings.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

    bool written = false;
    std::string problem;

    {
        SoundFile file (path, info);

        if (file.get() == nullptr)
            return "cannot write " + path + ": " + sf_strerror (nullptr);

        written = sf_writef_float (file.get(), samples.data(), frames) == frames;
        problem = written ? "" : "cannot write " + path + ": " + sf_strerror (file.get());
    }

    if (!written)
        std::remove (path.c_str());

    return problem;
}
