// The demo's sound generator: real files of the asked length, level and format.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include "AudioFileReader.h"
#include "AudioFileWriter.h"

using reaper_host::AudioFileFormat;
using reaper_host::ToneSettings;
using reaper_host::writeTone;

namespace
{
std::string scratchPath (const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("bv-tone-test-" + std::to_string (getpid()) + "-" + name)).string();
}
} // namespace

TEST (ToneWriter, WritesAFileOfTheAskedLengthRateChannelsAndLevel)
{
    const auto path = scratchPath ("tone.wav");
    ToneSettings settings;
    settings.seconds = 0.75;
    settings.sampleRate = 44100;
    settings.channels = 2;
    settings.frequency = 1000;
    settings.sweepTo = 2000;
    settings.gain = 0.5;

    ASSERT_EQ (writeTone (path, settings), "");

    SF_INFO info{};
    SNDFILE* file = sf_open (path.c_str(), SFM_READ, &info);
    ASSERT_NE (file, nullptr);
    EXPECT_EQ (info.samplerate, 44100);
    EXPECT_EQ (info.channels, 2);
    EXPECT_EQ (info.frames, 33075);
    EXPECT_EQ (info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    std::vector<float> samples (static_cast<size_t> (info.frames * info.channels));
    EXPECT_EQ (sf_readf_float (file, samples.data(), info.frames), info.frames);
    sf_close (file);
    std::remove (path.c_str());

    float peak = 0;

    for (float s : samples)
        peak = std::max (peak, std::fabs (s));

    EXPECT_NEAR (peak, 0.5f, 0.01f);
    EXPECT_NEAR (samples.front(), 0.0f, 1e-3f); // faded in, no click
    EXPECT_NEAR (samples.back(), 0.0f, 1e-3f);  // faded out
}

// Every format the host writes decodes, whole, with libsndfile (which checks FLAC's
// checksums): the length, rate, channels and samples the host's reader reports too.
TEST (ToneWriter, EveryFormatDecodesWithAnotherLibraryAsTheHostReadsIt)
{
    struct Case
    {
        AudioFileFormat format;
        int sampleRate;
        int channels;
        std::int64_t frames;
        int sndfileFormat;
        const char* type;
    };

    const Case cases[] = {
        {AudioFileFormat::wav16, 48000, 1, 48000 + 3, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAVE"},
        {AudioFileFormat::wav24, 44100, 2, 4097, SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAVE"},
        {AudioFileFormat::wavFloat, 96000, 2, 7, SF_FORMAT_WAV | SF_FORMAT_FLOAT, "WAVE"},
        {AudioFileFormat::aiff16, 22050, 1, 1001, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
        {AudioFileFormat::flac16, 44100, 2, 44100 * 3 + 17, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC"},
        {AudioFileFormat::flac16, 8000, 1, 4096 * 40 + 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC"}, // frame numbers of two bytes
        {AudioFileFormat::wav16, 8000, 1, 0, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAVE"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type + std::string (" ") + std::to_string (c.frames));
        const auto path = scratchPath ("format");
        ASSERT_TRUE (reaper_host::writeAudioFile (path, c.format, c.sampleRate, c.channels, c.frames));

        const auto read = reaper_host::readAudioFileInfo (path);
        ASSERT_TRUE (read.has_value());
        EXPECT_EQ (read->type, c.type);
        EXPECT_EQ (read->sampleRate, c.sampleRate);
        EXPECT_EQ (read->channels, c.channels);
        EXPECT_EQ (read->frames, c.frames);

        SF_INFO info{};
        SNDFILE* file = sf_open (path.c_str(), SFM_READ, &info);
        ASSERT_NE (file, nullptr) << sf_strerror (nullptr);
        EXPECT_EQ (info.format, c.sndfileFormat);
        EXPECT_EQ (info.samplerate, c.sampleRate);
        EXPECT_EQ (info.channels, c.channels);
        EXPECT_EQ (info.frames, c.frames);
        std::vector<float> samples (static_cast<size_t> (c.frames * c.channels) + 1);
        EXPECT_EQ (sf_readf_float (file, samples.data(), c.frames), c.frames);
        float peak = 0;
        for (float s : samples)
            peak = std::max (peak, std::fabs (s));
        EXPECT_NEAR (peak, c.frames > 1000 ? 0.25f : peak, 0.01f); // the quiet tone, whole
        sf_close (file);
        std::remove (path.c_str());
    }
}

TEST (ToneWriter, RefusesSettingsItCannotWriteAndLeavesNoFile)
{
    struct Case
    {
        const char* what;
        ToneSettings settings;
    };

    auto with = [] (auto change)
    {
        ToneSettings s;
        change (s);
        return s;
    };

    const Case cases[] = {
        {"no length", with ([] (ToneSettings& s)
                            { s.seconds = 0; })},
        {"NaN length", with ([] (ToneSettings& s)
                             { s.seconds = std::nan (""); })},
        {"low rate", with ([] (ToneSettings& s)
                           { s.sampleRate = 100; })},
        {"no channels", with ([] (ToneSettings& s)
                              { s.channels = 0; })},
        {"above Nyquist", with ([] (ToneSettings& s)
                                { s.frequency = 30000; })},
        {"loud", with ([] (ToneSettings& s)
                       { s.gain = 2; })},
    };

    const auto path = scratchPath ("refused.wav");

    for (const auto& c : cases)
    {
        EXPECT_NE (writeTone (path, c.settings), "") << c.what;
        EXPECT_FALSE (std::filesystem::exists (path)) << c.what;
    }

    EXPECT_NE (writeTone ("/nonexistent-folder/tone.wav", {}).find ("cannot write /nonexistent-folder/tone.wav"), std::string::npos);
}
