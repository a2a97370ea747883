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

// Writes a real audio file with libsndfile: `frames` frames of a quiet 440 Hz tone on
// every channel. False (and no file left behind) when it cannot be written.
bool writeAudioFile (const std::string& path, AudioFileFormat format, int sampleRate, int channels, std::int64_t frames);
} // namespace reaper_host
