#pragma once

#include <memory>
#include <mutex>

#include "logging/ExtensionLog.h"
#include "pipe/PipeConnection.h"
#include "pipe/PipeKeeper.h"

// The extension's one long-lived object, alive from a successful load to the unload: it
// owns the log and the pipe to the library application (served by one REAPER at a time,
// and made again when it goes), and hands every packet received to the request dispatch.
class ReaperBridge : public PipeConnection
{
public:
    // The bridge, created on first use. Null only when asked for again from inside the
    // bridge's own construction.
    static ReaperBridge* getInstance();

    ~ReaperBridge() override;

    ReaperBridge (const ReaperBridge&) = delete;
    ReaperBridge& operator= (const ReaperBridge&) = delete;

    void connectionMade() override;
    void connectionLost() override;
    void messageReceived (const std::vector<std::uint8_t>& message) override;

    static ReaperBridge* _singletonInstance;
    static std::mutex _singletonLock;

private:
    ReaperBridge();

    std::unique_ptr<ExtensionLog> logger;

    // Serves the pipe while no other REAPER does, and makes it again when it goes.
    PipeKeeper keeper;
};
