#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "api/ReaperTypes.h"

namespace reaper_host
{
// A REAPER media source backed by an audio file (WAV, AIFF, FLAC) whose header was read, or a synthetic
// one for tests; every live instance is counted so tests can prove sources are freed.
class MediaSource : public PCM_source
{
public:
    // Opens the file as audio; null when it is not a WAV, AIFF or FLAC file.
    static std::unique_ptr<MediaSource> fromFile (const std::string& path);

    // A source with chosen properties and no file behind it. A null fileName makes
    // GetFileName report none, as REAPER's non-file sources do.
    static std::unique_ptr<MediaSource> synthetic (const char* fileName, int sampleRate, int channels, std::int64_t frames);

    ~MediaSource() override;

    MediaSource (const MediaSource&) = delete;
    MediaSource& operator= (const MediaSource&) = delete;

    PCM_source* Duplicate() override;
    bool IsAvailable() override;
    void SetAvailable (bool avail) override;
    const char* GetType() override;
    const char* GetFileName() override;
    bool SetFileName (const char* newfn) override;
    PCM_source* GetSource() override;
    void SetSource (PCM_source* src) override;
    int GetNumChannels() override;
    double GetSampleRate() override;
    double GetLength() override;

    std::int64_t frameCount() const
    {
        return frames;
    }

    // Stable journal name, e.g. "source1"; given by the host model when it creates one.
    std::string label;

    // What a source is, as plain data that is not itself a live source: an undo point
    // keeps this, and restore() makes a source that answers every query the same.
    struct Saved
    {
        std::string label;
        bool hasFileName = false;
        std::string fileName;
        std::string type;
        int sampleRate = 0;
        int channels = 0;
        std::int64_t frames = 0;
        bool available = true;
    };

    Saved save() const;
    static std::unique_ptr<MediaSource> restore (const Saved& saved);

    // Number of MediaSource objects alive in this process.
    static int liveCount();

    // The source, when the pointer is a live MediaSource, else null. Never dereferences
    // the pointer, so it is safe on dangling or foreign pointers.
    static MediaSource* findLive (const PCM_source* source);

private:
    MediaSource();
    bool open (const std::string& path);

    std::string fileName;
    bool hasFileName = false;
    std::string type = "EMPTY";
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
    bool available = true;
};
} // namespace reaper_host
