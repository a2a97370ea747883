#pragma once

#include <string>

// What one generated sound is: a sine tone (or, with sweepTo, a glide) with short fades.
struct ToneSettings
{
    double seconds = 1.0;
    int sampleRate = 48000;
    int channels = 1;
    double frequency = 440.0;
    double sweepTo = 0.0; // end frequency of a glide; 0 keeps the tone steady
    double gain = 0.25;   // peak level, linear
};

// Writes the tone as a 16-bit WAV file with libsndfile. On failure the result is the
// reason, and no partial file is left; an empty result means success.
std::string writeTone (const std::string& path, const ToneSettings& settings);
