// What the pipe does on Windows alone: one named pipe, an instance per client.

#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "LogTexts.h"
#include "PacketBuilder.h"
#include "PipeClient.h"
#include "PipeTestSupport.h"
#include "WideText.h"
#include "pipe/PipeKeeper.h"

using namespace pipe_testing;

namespace
{
using Clock = std::chrono::steady_clock;
const std::string name = uniquePipeName();

bool logged (CapturingLogger& log, const std::string& line)
{
    const auto lines = log.lines();
    return std::find (lines.begin(), lines.end(), line) != lines.end();
}
} // namespace

// Its DACL grants the user and SYSTEM alone: no other local account may open it.
TEST (WindowsPipe, GrantsOnlyTheUserAndSystem)
{
    RecordingConnection connection (true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());
    const auto path = wide_text::fromUtf8 (pipe_contract::windowsPipePath (name));
    const HANDLE pipe = ::CreateFileW (path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE (pipe, INVALID_HANDLE_VALUE);

    std::vector<BYTE> descriptor (4096), token (256);
    DWORD size = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    HANDLE process = nullptr;
    ASSERT_TRUE (::GetKernelObjectSecurity (pipe, DACL_SECURITY_INFORMATION, descriptor.data(), 4096, &size));
    ASSERT_TRUE (::GetSecurityDescriptorDacl (descriptor.data(), &present, &dacl, &defaulted) && present && dacl);
    ASSERT_TRUE (::OpenProcessToken (::GetCurrentProcess(), TOKEN_QUERY, &process));
    ASSERT_TRUE (::GetTokenInformation (process, TokenUser, token.data(), 256, &size));
    ::CloseHandle (process);
    ::CloseHandle (pipe);

    ASSERT_EQ (dacl->AceCount, 2);
    std::vector<bool> userThenSystem;

    for (WORD i = 0; i < 2; ++i)
    {
        void* ace = nullptr;
        ASSERT_TRUE (::GetAce (dacl, i, &ace));
        const auto sid = static_cast<PSID> (&static_cast<ACCESS_ALLOWED_ACE*> (ace)->SidStart);
        EXPECT_EQ (static_cast<ACE_HEADER*> (ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
        userThenSystem.push_back (i == 0 ? ::EqualSid (sid, reinterpret_cast<TOKEN_USER*> (token.data())->User.Sid)
                                         : ::IsWellKnownSid (sid, WinLocalSystemSid));
    }

    EXPECT_EQ (userThenSystem, (std::vector<bool>{true, true}));
}

// A second REAPER (or any process) finds the name taken: it does not serve, says why, and
// serves within 2 s once the name is free.
TEST (WindowsPipe, ASecondServerWaitsForTheNameAndServesOnceItIsFree)
{
    CapturingLogger log;
    auto first = std::make_unique<RecordingConnection> (true);
    ASSERT_TRUE (first->makePipe (name, 1000).wasOk());

    RecordingConnection second (true);
    EXPECT_NE (second.makePipe (name, 1000).errorMessage().find ("is served by another process"), std::string::npos);

    PipeKeeper keeper (second, name, 1000);
    keeper.start();
    EXPECT_EQ (keeper.state(), PipeKeeper::State::waitingForLock);
    EXPECT_TRUE (logged (log, log_texts::kServedByAnother));

    first.reset();
    const auto freed = Clock::now();
    ASSERT_TRUE (waitUntil ([&]
                            { return keeper.state() == PipeKeeper::State::serving; },
                            4000));
    EXPECT_LT (Clock::now() - freed, std::chrono::milliseconds (2000));
    keeper.stop();
}

// Each client has its own instance: one that never reads its replies holds up no other,
// and a reply goes only to the client whose request it answers.
TEST (WindowsPipe, ClientsAreServedAtOnceEachGettingItsOwnReplies)
{
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    PipeClient stalled, a, b;
    ASSERT_TRUE (stalled.open (name, 1000) && a.open (name, 1000) && b.open (name, 1000));
    const std::string big (60000, 'x');

    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE (stalled.send (big, 1000));

    ASSERT_TRUE (connection.waitForMessages (4));
    ASSERT_TRUE (b.send ("b", 1000));
    ASSERT_TRUE (a.send ("a", 1000));

    const auto start = Clock::now();
    EXPECT_EQ (a.receive (2000), std::optional<std::string> ("re:a"));
    EXPECT_EQ (b.receive (2000), std::optional<std::string> ("re:b"));
    EXPECT_LT (Clock::now() - start, std::chrono::milliseconds (1000));
    EXPECT_EQ (a.receive (0), std::nullopt);
    EXPECT_EQ (stalled.receive (2000), std::optional<std::string> ("re:" + big));
}

// A client that leaves mid-reply and mid-request takes both with it, one line each; the
// next client is served as if it had never been.
TEST (WindowsPipe, AClientGoneMidReplyTakesItsRepliesAndItsHalfPacketWithIt)
{
    CapturingLogger log;
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());

    {
        PipeClient leaving;
        ASSERT_TRUE (leaving.open (name, 1000));

        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE (leaving.send (std::string (60000, 'y'), 1000));

        ASSERT_TRUE (connection.waitForMessages (3));
        ASSERT_TRUE (leaving.sendRaw (buildPacket (pipe_contract::kPacketMagic, "xyz", 3).substr (0, 9), 1000));
        ASSERT_TRUE (waitUntil ([&]
                                { return connection.unwrittenReplies() >= 2; }));
    }

    EXPECT_TRUE (waitUntil ([&]
                            { return logged (log, "Dropped an incomplete packet of 9 bytes: its client left")
                                     && connection.unwrittenReplies() == 0; }));
    const auto lines = log.lines();
    EXPECT_EQ (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                              { return line.find ("queued repl") != std::string::npos; }),
               1);

    PipeClient next;
    ASSERT_TRUE (next.open (name, 1000) && next.send ("n", 1000));
    EXPECT_EQ (next.receive (2000), std::optional<std::string> ("re:n"));
}

// Closing with clients connected (as at unload) is quick: a client waiting for a reply and
// one writing are let go, and the reply already queued reaches its client before the close.
TEST (WindowsPipe, ClosingWithClientsConnectedReturnsAtOnce)
{
    RecordingConnection connection (true, true);
    ASSERT_TRUE (connection.makePipe (name, 1000).wasOk());
    PipeClient waiting, idle;
    ASSERT_TRUE (waiting.open (name, 1000) && idle.open (name, 1000));
    ASSERT_TRUE (waiting.send ("w", 1000));
    ASSERT_TRUE (connection.waitForMessages (1));

    const auto start = Clock::now();
    connection.disconnect();
    EXPECT_LT (Clock::now() - start, std::chrono::milliseconds (500));
    EXPECT_EQ (waiting.receive (1000), std::optional<std::string> ("re:w"));
    EXPECT_EQ (waiting.receive (1000), std::nullopt);
    EXPECT_FALSE (idle.send ("late", 1000) && idle.receive (500));
}
