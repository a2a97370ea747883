#pragma once

#include <cstdint>
#include <string>

namespace reaper_host
{
enum class AudioFileFormat
{
    wav16,
    wav24,
    wavFloat,
    flac16,
    aiff16,
};

// Writes a real audio file (FLAC with its samples stored verbatim): `frames` frames of a quiet 440 Hz tone on
// every channel. False (and no file left behind) when it cannot be written.
bool writeAudioFile (const std::string& path, AudioFileFormat format, int sampleRate, int channels, std::int64_t frames);

// What one sound made to be listened to is: a sine tone (or, with sweepTo, a glide) with
// short fades, so that it starts and ends without a click.
struct ToneSettings
{
    double seconds = 1.0;
    int sampleRate = 48000;
    int channels = 1;
    double frequency = 440.0;
    double sweepTo = 0.0; // end frequency of a glide; 0 keeps the tone steady
    double gain = 0.25;   // peak level, linear
};

// Writes the tone as a 16-bit WAV file, after checking the settings against what makes a
// sound (at most 600 s, 8 to 192 kHz, 1 to 8 channels, below half the sample rate, a gain
// up to 1). On failure the result is the reason, and no partial file is left; an empty
// result means success.
std::string writeTone (const std::string& path, const ToneSettings& settings);
} // namespace reaper_host
