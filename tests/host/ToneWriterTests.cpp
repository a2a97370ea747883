// The demo's sound generator: real files of the asked length, level and format.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include "AudioFileWriter.h"

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
