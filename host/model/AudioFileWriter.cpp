#include "AudioFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace reaper_host
{
namespace
{
constexpr double kTwoPi = 6.283185307179586;

// How samples are stored: the container and the sample format.
struct Encoding
{
    enum class Container
    {
        wav,
        aiff,
        flac
    } container;
    int bits;
    bool floatingPoint;
};

Encoding encodingOf (AudioFileFormat format)
{
    switch (format)
    {
        case AudioFileFormat::wav16:
            return {Encoding::Container::wav, 16, false};
        case AudioFileFormat::wav24:
            return {Encoding::Container::wav, 24, false};
        case AudioFileFormat::wavFloat:
            return {Encoding::Container::wav, 32, true};
        case AudioFileFormat::flac16:
            return {Encoding::Container::flac, 16, false};
        case AudioFileFormat::aiff16:
            return {Encoding::Container::aiff, 16, false};
    }

    return {Encoding::Container::wav, 16, false};
}

using Bytes = std::vector<unsigned char>;

void putLittle (Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back (static_cast<unsigned char> (value >> (8 * i)));
}

void putBig (Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back (static_cast<unsigned char> (value >> (8 * i)));
}

void putText (Bytes& out, const char* text)
{
    out.insert (out.end(), text, text + 4);
}

// The sample as a signed integer of `bits` bits, rounded and clipped.
std::int32_t toInteger (float sample, int bits)
{
    const double full = static_cast<double> ((1LL << (bits - 1)) - 1);
    return static_cast<std::int32_t> (std::lround (std::clamp (static_cast<double> (sample), -1.0, 1.0) * full));
}

// The sample rate as AIFF keeps it: an 80-bit extended float.
void putExtended (Bytes& out, double value)
{
    int exponent = 0;
    const double fraction = std::frexp (value, &exponent); // value = fraction * 2^exponent, fraction in [0.5, 1)
    putBig (out, static_cast<std::uint64_t> (16383 + exponent - 1), 2);
    putBig (out, static_cast<std::uint64_t> (std::ldexp (fraction, 64)), 8);
}

// FLAC's checksums: CRC-8 (polynomial 0x07) of a frame's header, CRC-16 (0x8005) of the frame.
template <int Bits, unsigned Polynomial>
unsigned crc (const unsigned char* data, std::size_t size)
{
    constexpr unsigned top = 1u << (Bits - 1), mask = (1u << Bits) - 1;
    unsigned value = 0;
    for (std::size_t i = 0; i < size; ++i)
    {
        value ^= static_cast<unsigned> (data[i]) << (Bits - 8);
        for (int bit = 0; bit < 8; ++bit)
            value = ((value & top) != 0 ? (value << 1) ^ Polynomial : value << 1) & mask;
    }
    return value;
}

constexpr std::int64_t kFlacBlockFrames = 4096;

// Everything before the samples. WAV: RIFF, fmt (WAVE_FORMAT_IEEE_FLOAT with its fact chunk
// for floats), data. AIFF: FORM, COMM, SSND. FLAC: the marker and STREAMINFO (no MD5:
// zero, which means "not computed"); its frames come with the samples.
Bytes headerOf (const Encoding& e, int sampleRate, int channels, std::int64_t frames)
{
    const auto frameBytes = static_cast<std::uint64_t> (channels * e.bits / 8);
    const auto dataBytes = static_cast<std::uint64_t> (frames) * frameBytes;
    Bytes out;

    switch (e.container)
    {
        case Encoding::Container::wav:
            putText (out, "RIFF");
            putLittle (out, 4 + (8 + 18) + (e.floatingPoint ? 12 : 0) + 8 + dataBytes + (dataBytes & 1), 4);
            putText (out, "WAVE");
            putText (out, "fmt ");
            putLittle (out, 18, 4);
            putLittle (out, e.floatingPoint ? 3 : 1, 2);
            putLittle (out, static_cast<std::uint64_t> (channels), 2);
            putLittle (out, static_cast<std::uint64_t> (sampleRate), 4);
            putLittle (out, static_cast<std::uint64_t> (sampleRate) * frameBytes, 4);
            putLittle (out, frameBytes, 2);
            putLittle (out, static_cast<std::uint64_t> (e.bits), 2);
            putLittle (out, 0, 2);
            if (e.floatingPoint)
            {
                putText (out, "fact");
                putLittle (out, 4, 4);
                putLittle (out, static_cast<std::uint64_t> (frames), 4);
            }
            putText (out, "data");
            putLittle (out, dataBytes, 4);
            break;

        case Encoding::Container::aiff:
            putText (out, "FORM");
            putBig (out, 4 + (8 + 18) + (8 + 8) + dataBytes + (dataBytes & 1), 4);
            putText (out, "AIFF");
            putText (out, "COMM");
            putBig (out, 18, 4);
            putBig (out, static_cast<std::uint64_t> (channels), 2);
            putBig (out, static_cast<std::uint64_t> (frames), 4);
            putBig (out, static_cast<std::uint64_t> (e.bits), 2);
            putExtended (out, sampleRate);
            putText (out, "SSND");
            putBig (out, 8 + dataBytes, 4);
            putBig (out, 0, 8); // offset, block size
            break;

        case Encoding::Container::flac:
            putText (out, "fLaC");
            out.push_back (0x80); // the last metadata block, STREAMINFO
            putBig (out, 34, 3);
            putBig (out, static_cast<std::uint64_t> (std::min (frames, kFlacBlockFrames)), 2);
            putBig (out, static_cast<std::uint64_t> (std::min (frames, kFlacBlockFrames)), 2);
            putBig (out, 0, 3); // frame sizes unknown
            putBig (out, 0, 3);
            putBig (out, (static_cast<std::uint64_t> (sampleRate) << 44) | (static_cast<std::uint64_t> (channels - 1) << 41) | (static_cast<std::uint64_t> (e.bits - 1) << 36) | static_cast<std::uint64_t> (frames),
                    8);
            out.insert (out.end(), 16, 0);
            break;
    }

    return out;
}

// One FLAC frame of 16-bit samples, every channel stored verbatim: the header (fixed
// block size, rate and sample size from STREAMINFO's, the frame's number UTF-8 coded, the
// block size at its end) with its CRC-8, one subframe per channel, the frame's CRC-16.
Bytes flacFrame (const std::vector<float>& block, std::int64_t count, int channels, std::int64_t number)
{
    Bytes out = {0xFF, 0xF8, 0x70, static_cast<unsigned char> (((channels - 1) << 4) | 0x08)};
    const auto n = static_cast<std::uint64_t> (number);
    if (n < 0x80)
        out.push_back (static_cast<unsigned char> (n));
    else
    {
        int extra = 1;
        while (extra < 6 && n >= (1ULL << (6 + 5 * extra)))
            ++extra;
        out.push_back (static_cast<unsigned char> ((0xFF00 >> (extra + 1)) | (n >> (6 * extra))));
        for (int i = extra - 1; i >= 0; --i)
            out.push_back (static_cast<unsigned char> (0x80 | ((n >> (6 * i)) & 0x3F)));
    }
    putBig (out, static_cast<std::uint64_t> (count - 1), 2);
    out.push_back (static_cast<unsigned char> (crc<8, 0x07> (out.data(), out.size())));

    for (int c = 0; c < channels; ++c)
    {
        out.push_back (0x02); // verbatim, no wasted bits
        for (std::int64_t f = 0; f < count; ++f)
            putBig (out, static_cast<std::uint16_t> (toInteger (block[static_cast<std::size_t> (f * channels + c)], 16)), 2);
    }
    putBig (out, crc<16, 0x8005> (out.data(), out.size()), 2);
    return out;
}

// The block's samples as the container stores them (FLAC: as one frame).
Bytes encodeBlock (const Encoding& e, const std::vector<float>& block, std::int64_t count, int channels, std::int64_t blockNumber)
{
    if (e.container == Encoding::Container::flac)
        return flacFrame (block, count, channels, blockNumber);

    Bytes out;
    const auto samples = static_cast<std::size_t> (count * channels);
    out.reserve (samples * static_cast<std::size_t> (e.bits / 8));

    for (std::size_t i = 0; i < samples; ++i)
    {
        std::uint64_t value = 0;
        if (e.floatingPoint)
        {
            std::uint32_t bits = 0;
            static_assert (sizeof (float) == sizeof (bits));
            std::memcpy (&bits, &block[i], sizeof (bits));
            value = bits;
        }
        else
            value = static_cast<std::uint32_t> (toInteger (block[i], e.bits));

        if (e.container == Encoding::Container::aiff)
            putBig (out, value, e.bits / 8);
        else
            putLittle (out, value, e.bits / 8);
    }
    return out;
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
std::string writeSweep (const std::string& path, const Encoding& encoding, int sampleRate, int channels, std::int64_t frames, const Sweep& sweep)
{
    std::FILE* file = std::fopen (path.c_str(), "wb");

    if (file == nullptr)
        return "cannot write " + path + ": " + std::strerror (errno);

    const auto header = headerOf (encoding, sampleRate, channels, frames);
    std::string problem;
    if (std::fwrite (header.data(), 1, header.size(), file) != header.size())
        problem = "cannot write " + path + ": " + std::strerror (errno);

    const std::int64_t blockFrames = kFlacBlockFrames;
    std::vector<float> block ((size_t) (blockFrames * channels));
    double phase = 0;
    std::int64_t dataBytes = 0;

    for (std::int64_t done = 0, number = 0; done < frames && problem.empty(); ++number)
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

        const auto bytes = encodeBlock (encoding, block, count, channels, number);
        if (std::fwrite (bytes.data(), 1, bytes.size(), file) != bytes.size())
            problem = "cannot write " + path + ": " + std::strerror (errno);

        dataBytes += (std::int64_t) bytes.size();
        done += count;
    }

    // RIFF and AIFF chunks are padded to an even size.
    if (problem.empty() && encoding.container != Encoding::Container::flac && (dataBytes & 1) != 0 && std::fputc (0, file) == EOF)
        problem = "cannot write " + path + ": " + std::strerror (errno);

    if (std::fclose (file) != 0 && problem.empty())
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

    return writeSweep (path, encodingOf (format), sampleRate, channels, frames, Sweep{}).empty();
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
    return writeSweep (path, encodingOf (AudioFileFormat::wav16), settings.sampleRate, settings.channels, frames, sweep);
}
} // namespace reaper_host
