// The loaded module's pipe on Windows: served at load, each client answered on its own
// instance, and let go at unload with clients still connected.

#include <chrono>

#include <gtest/gtest.h>

#include "ExtensionLibrary.h"
#include "PipeClient.h"
#include "PipeContract.h"
#include "RequestPayloads.h"

TEST (ExtensionWindowsPipe, AnswersTwoClientsAtOnceAndUnloadsWithThemConnected)
{
    auto& model = reaper_host::HostModel::current();
    model.reset();
    model.echoMessageBoxes = false;
    reaper_host::ExtensionLibrary extension (model);
    ASSERT_TRUE (extension.load (BV_EXTENSION_MODULE_PATH).ok());

    PipeClient first, second;
    ASSERT_TRUE (first.open (pipe_contract::kPipeName, 3000) && second.open (pipe_contract::kPipeName, 3000));
    ASSERT_TRUE (second.send (request_payloads::version(), 1000) && first.send (request_payloads::version(), 1000));

    for (auto* client : {&first, &second})
    {
        const auto reply = client->receive (3000);
        ASSERT_TRUE (reply);
        EXPECT_TRUE (request_payloads::isVersionReply (*reply));
    }

    ASSERT_TRUE (first.send (request_payloads::version(), 1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ (extension.unload(), 0);
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::milliseconds (1000));

    // The pipe has gone with the module: what a client holds is broken, the name is free.
    EXPECT_FALSE (second.send (request_payloads::version(), 500) && second.receive (500));
    PipeClient later;
    EXPECT_FALSE (later.open (pipe_contract::kPipeName, 100));
    EXPECT_EQ (later.openResult().status, PipeOpenResult::Status::missing);
}
