#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace reaper_host
{
// What an audio file's header says, as REAPER shows a source: its type ("WAVE", "AIFF",
// "FLAC"), rate, channels and length in frames; where its samples start and how they are
// stored (PCM WAV and AIFF: the data follow at dataOffset, dataBytes of them).
struct AudioFileInfo
{
    std::string type;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
    int bitsPerSample = 0;
    bool floatingPoint = false;
    std::int64_t dataOffset = 0;
    std::int64_t dataBytes = 0;
};

// Reads the header of a WAV (PCM or float, RIFF), AIFF or FLAC file; nothing when the file
// cannot be read or is not one of them, or its header names no rate or no channels.
std::optional<AudioFileInfo> readAudioFileInfo (const std::string& path);
} // namespace reaper_host
