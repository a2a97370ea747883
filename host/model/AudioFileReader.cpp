#include "AudioFileReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace reaper_host
{
namespace
{
std::uint32_t littleEndian (const unsigned char* p, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

std::uint64_t bigEndian (const unsigned char* p, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

bool readAt (std::ifstream& in, std::int64_t offset, unsigned char* into, std::size_t bytes)
{
    in.clear();
    in.seekg (offset);
    in.read (reinterpret_cast<char*> (into), static_cast<std::streamsize> (bytes));
    return static_cast<std::size_t> (in.gcount()) == bytes;
}

std::int64_t sizeOf (std::ifstream& in)
{
    in.clear();
    in.seekg (0, std::ios::end);
    return static_cast<std::int64_t> (in.tellg());
}

// RIFF WAVE: the fmt chunk (PCM 1, float 3, extensible 0xFFFE) and the data chunk; chunks
// are padded to even sizes. A data chunk cut short by the file's end counts what is there.
std::optional<AudioFileInfo> readWav (std::ifstream& in, std::int64_t fileSize)
{
    AudioFileInfo info;
    info.type = "WAVE";
    bool haveFormat = false;
    int blockAlign = 0;

    for (std::int64_t at = 12; at + 8 <= fileSize;)
    {
        unsigned char header[8];
        if (!readAt (in, at, header, 8))
            return std::nullopt;
        const auto size = static_cast<std::int64_t> (littleEndian (header + 4, 4));

        if (std::memcmp (header, "fmt ", 4) == 0 && size >= 16)
        {
            unsigned char fmt[16];
            if (!readAt (in, at + 8, fmt, 16))
                return std::nullopt;
            const auto tag = littleEndian (fmt, 2);
            if (tag != 1 && tag != 3 && tag != 0xFFFE)
                return std::nullopt;
            info.channels = static_cast<int> (littleEndian (fmt + 2, 2));
            info.sampleRate = static_cast<int> (littleEndian (fmt + 4, 4));
            blockAlign = static_cast<int> (littleEndian (fmt + 12, 2));
            info.bitsPerSample = static_cast<int> (littleEndian (fmt + 14, 2));
            info.floatingPoint = tag == 3;
            haveFormat = true;
        }
        else if (std::memcmp (header, "data", 4) == 0)
        {
            if (!haveFormat || blockAlign <= 0)
                return std::nullopt;
            info.dataOffset = at + 8;
            info.dataBytes = std::min (size, fileSize - info.dataOffset);
            info.frames = info.dataBytes / blockAlign;
            return info;
        }

        at += 8 + size + (size & 1);
    }

    return std::nullopt;
}

// The 80-bit extended float AIFF keeps its sample rate in.
double extendedToDouble (const unsigned char* p)
{
    const int exponent = static_cast<int> (((p[0] & 0x7F) << 8) | p[1]) - 16383;
    const auto mantissa = bigEndian (p + 2, 8);
    const double value = std::ldexp (static_cast<double> (mantissa), exponent - 63);
    return (p[0] & 0x80) != 0 ? -value : value;
}

// FORM AIFF (or AIFC): the COMM chunk has channels, frames, sample size and rate; the
// SSND chunk's samples start after its offset and block size fields.
std::optional<AudioFileInfo> readAiff (std::ifstream& in, std::int64_t fileSize)
{
    AudioFileInfo info;
    info.type = "AIFF";
    bool haveCommon = false;

    for (std::int64_t at = 12; at + 8 <= fileSize;)
    {
        unsigned char header[8];
        if (!readAt (in, at, header, 8))
            return std::nullopt;
        const auto size = static_cast<std::int64_t> (bigEndian (header + 4, 4));

        if (std::memcmp (header, "COMM", 4) == 0 && size >= 18)
        {
            unsigned char comm[18];
            if (!readAt (in, at + 8, comm, 18))
                return std::nullopt;
            info.channels = static_cast<int> (bigEndian (comm, 2));
            info.frames = static_cast<std::int64_t> (bigEndian (comm + 2, 4));
            info.bitsPerSample = static_cast<int> (bigEndian (comm + 6, 2));
            info.sampleRate = static_cast<int> (std::lround (extendedToDouble (comm + 8)));
            haveCommon = true;
        }
        else if (std::memcmp (header, "SSND", 4) == 0 && size >= 8)
        {
            unsigned char offset[4];
            if (!readAt (in, at + 8, offset, 4))
                return std::nullopt;
            info.dataOffset = at + 16 + static_cast<std::int64_t> (bigEndian (offset, 4));
            info.dataBytes = std::min (size - 8, fileSize - info.dataOffset);
        }

        at += 8 + size + (size & 1);
    }

    if (!haveCommon)
        return std::nullopt;
    return info;
}

// "fLaC" and its first metadata block, STREAMINFO: rate (20 bits), channels - 1 (3),
// bits per sample - 1 (5), total frames (36).
std::optional<AudioFileInfo> readFlac (std::ifstream& in)
{
    unsigned char block[4 + 34];
    if (!readAt (in, 4, block, sizeof (block)) || (block[0] & 0x7F) != 0 || bigEndian (block + 1, 3) < 34)
        return std::nullopt;

    const unsigned char* streamInfo = block + 4;
    const auto packed = bigEndian (streamInfo + 10, 8);
    AudioFileInfo info;
    info.type = "FLAC";
    info.sampleRate = static_cast<int> (packed >> 44);
    info.channels = static_cast<int> ((packed >> 41) & 0x7) + 1;
    info.bitsPerSample = static_cast<int> ((packed >> 36) & 0x1F) + 1;
    info.frames = static_cast<std::int64_t> (packed & 0xFFFFFFFFFULL);
    return info;
}
} // namespace

std::optional<AudioFileInfo> readAudioFileInfo (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    unsigned char magic[12];

    if (!in || !readAt (in, 0, magic, sizeof (magic)))
        return std::nullopt;

    const auto fileSize = sizeOf (in);
    std::optional<AudioFileInfo> info;

    if (std::memcmp (magic, "RIFF", 4) == 0 && std::memcmp (magic + 8, "WAVE", 4) == 0)
        info = readWav (in, fileSize);
    else if (std::memcmp (magic, "FORM", 4) == 0 && (std::memcmp (magic + 8, "AIFF", 4) == 0 || std::memcmp (magic + 8, "AIFC", 4) == 0))
        info = readAiff (in, fileSize);
    else if (std::memcmp (magic, "fLaC", 4) == 0)
        info = readFlac (in);

    if (!info || info->sampleRate <= 0 || info->channels <= 0 || info->frames < 0)
        return std::nullopt;
    return info;
}
} // namespace reaper_host
