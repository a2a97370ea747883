// JUCE's own Windows client (InterprocessConnection over its NamedPipe) against the loaded
// module, as the library application uses it on Windows.

#include <thread>

#include <gtest/gtest.h>

#include "AppConnection.h"
#include "ExtensionLibrary.h"
#include "RequestPayloads.h"

namespace
{
std::optional<std::string> replyWithin (AppConnection& connection, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    for (auto reply = connection.takeReply(); std::chrono::steady_clock::now() < deadline; reply = connection.takeReply())
    {
        if (reply)
            return reply;

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }

    return connection.takeReply();
}

bool sendVersionRequest (AppConnection& connection)
{
    const auto request = request_payloads::version();
    return connection.sendMessage (juce::MemoryBlock (request.data(), request.size()));
}
} // namespace

// Two applications at once, one that leaves and comes back, and an unload while they are
// connected: each is answered on its own connection, and the unload lets them go.
TEST (LibraryAppClientWindows, JucesClientsAreServedAtOnceAndAgainAfterReconnecting)
{
    auto& model = reaper_host::HostModel::current();
    model.reset();
    model.echoMessageBoxes = false;
    reaper_host::ExtensionLibrary extension (model);
    ASSERT_TRUE (extension.load (BV_EXTENSION_MODULE_PATH).ok());

    AppConnection first, second;
    ASSERT_TRUE (first.open() && second.open());

    for (int round = 0; round < 2; ++round)
    {
        ASSERT_TRUE (sendVersionRequest (second) && sendVersionRequest (first));

        for (auto* connection : {&first, &second})
        {
            const auto reply = replyWithin (*connection, kReplyTimeout);
            ASSERT_TRUE (reply);
            EXPECT_TRUE (request_payloads::isVersionReply (*reply));
        }

        EXPECT_EQ (first.takeReply(), std::nullopt);
        second.disconnect();
        ASSERT_TRUE (second.open());
    }

    EXPECT_EQ (extension.unload(), 0);
    EXPECT_FALSE (sendVersionRequest (first) && replyWithin (first, std::chrono::milliseconds (500)));
}
