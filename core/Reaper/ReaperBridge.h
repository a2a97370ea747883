#pragma once

#include <memory>

#include <juce_core/juce_core.h>

#include "pipe/PipeConnection.h"
#include "pipe/PipeKeeper.h"

// The extension's one long-lived object, alive from a successful load to the unload: it
// brings JUCE's message machinery up inside REAPER, owns the log and the pipe to the
// library application (served by one REAPER at a time, and made again when it goes), and
// hands every packet received to the request dispatch.
class ReaperBridge : public PipeConnection
{
public:
    // The bridge, created on first use. Null only when asked for again from inside the
    // bridge's own construction.
    static ReaperBridge* getInstance();

    ~ReaperBridge() override;

    void connectionMade() override;
    void connectionLost() override;
    void messageReceived (const juce::MemoryBlock& message) override;

    static ReaperBridge* _singletonInstance;
    static juce::CriticalSection _singletonLock;

private:
    ReaperBridge();

    std::unique_ptr<juce::FileLogger> logger;

    // Serves the pipe while no other REAPER does, and makes it again when it goes.
    PipeKeeper keeper;

    JUCE_DECLARE_NON_COPYABLE (ReaperBridge)
};
