#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "AudioFileWriter.h"
#include "HostFunctions.h"
#include "HostModel.h"
#include "MediaSource.h"
#include "TempDirectory.h"

using namespace reaper_host;

namespace
{
class HostModelSources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        liveBefore = MediaSource::liveCount();
    }

    void TearDown() override
    {
        model.reset();
        EXPECT_EQ (MediaSource::liveCount(), liveBefore) << "a source leaked";
    }

    HostModel& model = HostModel::current();
    testing_support::TempDirectory temp;
    int liveBefore = 0;
};

struct FileCase
{
    const char* name;
    AudioFileFormat format;
    int sampleRate;
    int channels;
    std::int64_t frames;
    const char* type;
};
} // namespace

TEST_F (HostModelSources, RealFilesReportTheirLengthToTheSampleRateAndName)
{
    const FileCase cases[] = {
        {"mono.wav", AudioFileFormat::wav16, 48000, 1, 48000 * 3 + 1, "WAVE"},
        {"stereo24.wav", AudioFileFormat::wav24, 44100, 2, 12345, "WAVE"},
        {"float.wav", AudioFileFormat::wavFloat, 96000, 2, 7, "WAVE"},
        {"odd.flac", AudioFileFormat::flac16, 22050, 1, 22050 * 2 + 17, "FLAC"},
        {"stereo.flac", AudioFileFormat::flac16, 44100, 2, 44100, "FLAC"},
        {"empty.wav", AudioFileFormat::wav16, 8000, 1, 0, "WAVE"},
        {"a.aiff", AudioFileFormat::aiff16, 32000, 1, 1000, "AIFF"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto path = temp.path (c.name);
        ASSERT_TRUE (writeAudioFile (path, c.format, c.sampleRate, c.channels, c.frames));

        PCM_source* source = api::PCM_Source_CreateFromFile (path.c_str());
        ASSERT_NE (source, nullptr);
        bool lengthIsQN = true;
        EXPECT_EQ (api::GetMediaSourceLength (source, &lengthIsQN), (double) c.frames / c.sampleRate);
        EXPECT_FALSE (lengthIsQN);
        EXPECT_EQ (api::GetMediaSourceSampleRate (source), c.sampleRate);
        EXPECT_STREQ (source->GetFileName(), path.c_str());
        EXPECT_STREQ (source->GetType(), c.type);
        EXPECT_EQ (source->GetNumChannels(), c.channels);
        delete source;
    }
}

TEST_F (HostModelSources, FilesThatAreNotAudioGiveNoSource)
{
    const auto text = temp.path ("notes.wav");
    std::ofstream (text) << "this is not audio\n";

    for (const auto& path : {text, temp.path ("missing.wav"), temp.directory(), std::string()})
        EXPECT_EQ (api::PCM_Source_CreateFromFile (path.c_str()), nullptr) << path;

    EXPECT_EQ (api::PCM_Source_CreateFromFile (nullptr), nullptr);
    EXPECT_EQ (MediaSource::liveCount(), liveBefore);
}

TEST_F (HostModelSources, SourceBelongsToTheCallerUntilATakeAcceptsIt)
{
    const auto path = temp.path ("a.wav");
    ASSERT_TRUE (writeAudioFile (path, AudioFileFormat::wav16, 48000, 1, 4800));
    auto* item = api::AddMediaItemToTrack (model.addTrack().handle());
    auto* take = api::AddTakeToMediaItem (item);

    PCM_source* released = api::PCM_Source_CreateFromFile (path.c_str());
    EXPECT_EQ (MediaSource::liveCount(), liveBefore + 1);
    delete released; // the caller's own, through REAPER's virtual destructor
    EXPECT_EQ (MediaSource::liveCount(), liveBefore);
    EXPECT_EQ (api::GetMediaSourceLength (released, nullptr), 0);
    EXPECT_FALSE (api::SetMediaItemTake_Source (take, released));
    EXPECT_EQ (model.invalidHandleCalls, 2);

    PCM_source* first = api::PCM_Source_CreateFromFile (path.c_str());
    PCM_source* second = api::PCM_Source_CreateFromFile (path.c_str());
    ASSERT_TRUE (api::SetMediaItemTake_Source (take, first));
    EXPECT_EQ (api::GetMediaItemTake_Source (take), first);
    EXPECT_TRUE (api::SetMediaItemTake_Source (take, first));

    // Replacing the source frees the one the take owned.
    ASSERT_TRUE (api::SetMediaItemTake_Source (take, second));
    EXPECT_EQ (MediaSource::liveCount(), liveBefore + 1);

    // A source another take owns is refused: taking it would delete it twice.
    auto* otherTake = api::AddTakeToMediaItem (item);
    EXPECT_FALSE (api::SetMediaItemTake_Source (otherTake, second));
    EXPECT_EQ (model.findTake (otherTake)->source, nullptr);
}

TEST_F (HostModelSources, SyntheticSourcesCanReportNoFileName)
{
    auto& track = model.addTrack();
    auto& take = model.addTake (model.addItem (track, 0, 1));
    model.setTakeSource (take, MediaSource::synthetic (nullptr, 0, 1, 0));

    PCM_source* source = api::GetMediaItemTake_Source (take.handle());
    ASSERT_NE (source, nullptr);
    EXPECT_EQ (source->GetFileName(), nullptr);
    EXPECT_EQ (api::GetMediaSourceSampleRate (source), 0);
    EXPECT_EQ (api::GetMediaSourceLength (source, nullptr), 0);
}

TEST_F (HostModelSources, InsertMediaPlacesTheFileAtTheCursorAndMovesIt)
{
    const auto path = temp.path ("b.flac");
    ASSERT_TRUE (writeAudioFile (path, AudioFileFormat::flac16, 44100, 2, 44100 * 2));
    model.setCursor (3);

    EXPECT_EQ (api::InsertMedia (path.c_str(), 0), 1);
    EXPECT_EQ (api::InsertMedia (temp.path ("missing.wav").c_str(), 0), 0);

    ASSERT_EQ (model.project().tracks.size(), 1u);
    ASSERT_EQ (model.itemCount(), 1);
    auto* item = model.allItems().front();
    EXPECT_EQ (item->position, 3);
    EXPECT_EQ (item->length, 2);
    EXPECT_EQ (item->takes.front()->name, "b.flac");
    EXPECT_EQ (model.project().cursor, 5);
}

TEST_F (HostModelSources, VirtualFilesOpenWithoutAFileOnDisk)
{
    model.addVirtualAudioFile ("/gone/door.wav", 44100, 2, 44100 * 3);

    PCM_source* source = api::PCM_Source_CreateFromFile ("/gone/door.wav");
    ASSERT_NE (source, nullptr);
    EXPECT_EQ (api::GetMediaSourceLength (source, nullptr), 3.0);
    EXPECT_EQ (api::GetMediaSourceSampleRate (source), 44100);
    EXPECT_STREQ (source->GetFileName(), "/gone/door.wav");
    EXPECT_EQ (model.journal().lines().front(), "PCM_Source_CreateFromFile(\"/gone/door.wav\") -> source1");
    delete source;

    model.reset();
    EXPECT_EQ (api::PCM_Source_CreateFromFile ("/gone/door.wav"), nullptr);
}
