// bv-tone: writes a short tone or glide as a 16-bit WAV file, for the demo.

#include <iostream>

#include <CLI/CLI.hpp>

#include "AudioFileWriter.h"

int main (int argc, char** argv)
{
    std::string path;
    reaper_host::ToneSettings settings;

    CLI::App app{"bv-tone: writes a short sine tone (or a glide) as a 16-bit WAV file.", "bv-tone"};
    app.add_option ("file", path, "the WAV file to write")->required();
    app.add_option ("--seconds", settings.seconds, "length in seconds")->capture_default_str();
    app.add_option ("--rate", settings.sampleRate, "sample rate in Hz")->capture_default_str();
    app.add_option ("--channels", settings.channels, "number of channels")->capture_default_str();
    app.add_option ("--frequency", settings.frequency, "tone frequency in Hz")->capture_default_str();
    app.add_option ("--sweep-to", settings.sweepTo, "glide to this frequency in Hz by the end");
    app.add_option ("--gain", settings.gain, "peak level, linear (0 to 1)")->capture_default_str();

    try
    {
        app.parse (argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        return app.exit (e) == 0 ? 0 : 2;
    }

    if (const auto problem = reaper_host::writeTone (path, settings); !problem.empty())
    {
        std::cerr << "bv-tone: " << problem << "\n";
        return 1;
    }

    return 0;
}
