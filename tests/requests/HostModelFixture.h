#pragma once

#include <string>

#include <gtest/gtest.h>

#include "../support/Hex.h"
#include "../support/TempDirectory.h"
#include "AudioFileWriter.h"
#include "FunctionTable.h"
#include "HostModel.h"
#include "LogCapture.h"
#include "RecordingSender.h"
#include "api/ApiBinding.h"
#include "requests/RequestDispatcher.h"

namespace handler_testing
{
// A fresh stand-in REAPER project bound into the host API table (the optional functions
// included, as a current REAPER has them), a log capture, a reply
// recorder, and a scratch folder for audio files; everything is undone per test.
class HostModelTest : public testing::Test
{
protected:
    HostModelTest()
    {
        model.reset();
        EXPECT_EQ (bindHostApi (&reaper_host::getFunc), 0);
        EXPECT_EQ (bindOptionalHostApi (&reaper_host::getFunc), 0);
        model.journal().clear();
        EXPECT_FALSE (scratch.directory().empty());
    }

    ~HostModelTest() override
    {
        // Frees the project's sources now: left to the end of the process, they would be
        // destroyed after the host's registry of live sources.
        model.reset();
    }

    void handle (const std::string& payload)
    {
        handleRequest (payload.data(), payload.size(), replies);
    }

    void handleHex (const std::string& hex)
    {
        handle (testing_support::fromHex (hex));
    }

    // A mono 16-bit WAV of the given length, written into the scratch folder.
    std::string audioFile (const std::string& name, int sampleRate, std::int64_t frames)
    {
        const auto path = scratch.path (name);
        EXPECT_TRUE (reaper_host::writeAudioFile (path, reaper_host::AudioFileFormat::wav16, sampleRate, 1, frames));
        return path;
    }

    // Declared first, so removed last.
    testing_support::TempDirectory scratch{"bv-handlers"};
    reaper_host::HostModel& model = reaper_host::HostModel::current();
    LogCapture log;
    RecordingSender replies{&log};
};
} // namespace handler_testing
