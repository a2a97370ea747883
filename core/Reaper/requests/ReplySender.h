#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// Something that can carry one encoded reply back to the library application as a packet.
// The pipe connection is one; tests use others.
class ReplySender
{
public:
    virtual ~ReplySender() = default;

    // True when the packet was taken to be written (the pipe writes it in turn, without
    // holding up the caller).
    virtual bool sendMessage (const std::vector<std::uint8_t>& message) = 0;

    // The same, calling afterward once the reply has been written or dropped (the pipe calls
    // it from its writer's thread; by default it is called at once).
    virtual bool sendMessageThen (const std::vector<std::uint8_t>& message, std::function<void()> afterward)
    {
        const bool taken = sendMessage (message);

        if (afterward)
            afterward();

        return taken;
    }
};
