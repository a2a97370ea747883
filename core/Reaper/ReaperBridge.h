#pragma once

#include <memory>
#include <mutex>

#include "logging/ExtensionLog.h"
#include "pipe/PipeConnection.h"
#include "pipe/PipeKeeper.h"

// The extension's one long-lived object, alive from a successful load to the unload: it
// owns the log and the pipe to the library application (served by one REAPER at a time,
// and made again when it goes), and hands every packet received to the request dispatch,
// whose replies go back through the same connection.
class ReaperBridge : private PipeListener
{
public:
    // The bridge, created on first use. Null only when asked for again from inside the
    // bridge's own construction. [main thread]
    static ReaperBridge* getInstance();

    // Destroys the bridge, if there is one: the pipe is closed and its files removed, the log
    // closed. [main thread]
    static void deleteInstance();

    ~ReaperBridge() override;

    ReaperBridge (const ReaperBridge&) = delete;
    ReaperBridge& operator= (const ReaperBridge&) = delete;

private:
    ReaperBridge();

    void connectionMade() override;
    void connectionLost() override;
    void messageReceived (const std::vector<std::uint8_t>& message) override;

    static ReaperBridge* _singletonInstance;
    static std::mutex _singletonLock;

    std::unique_ptr<ExtensionLog> logger;

    // Where the lines go while the pipe is first made: a pipe, or its lock file, that cannot
    // be made then is a failed check, so its "Pipe not created: ..." line comes after the
    // assertion line, the shape the log has for every failure. A member, so that a line
    // another thread writes just as the load ends still finds it.
    struct LoadRefusalsAsserted : LogDestination
    {
        LogDestination* log = nullptr;
        void logMessage (const std::string& line) override;
    };

    LoadRefusalsAsserted duringLoad;

    // The pipe itself; it reports to this bridge.
    PipeConnection connection;

    // Serves the pipe while no other REAPER does, and makes it again when it goes.
    PipeKeeper keeper;
};
