// A reply written while the client closes its end raises SIGPIPE, whose default action
// ends the process: REAPER itself. The extension must keep it from the host whatever the
// host's own SIGPIPE disposition, and must leave that disposition and the main thread's
// signal mask exactly as they were, through load, sends and unload.

#include <atomic>
#include <csignal>
#include <string>
#include <thread>

#include <pthread.h>

#include <gtest/gtest.h>

#include "ReliabilityTesting.h"

using namespace reliability_testing;
using namespace std::chrono_literals;

namespace
{
std::atomic<int> hostHandlerCalls{0};

void hostHandler (int)
{
    ++hostHandlerCalls;
}

struct SignalState
{
    void (*handler) (int) = nullptr;
    bool blockedOnThisThread = false;

    static SignalState now()
    {
        struct sigaction action
        {
        };
        sigaction (SIGPIPE, nullptr, &action);
        sigset_t mask;
        sigemptyset (&mask);
        pthread_sigmask (SIG_BLOCK, nullptr, &mask);
        return {action.sa_handler, sigismember (&mask, SIGPIPE) == 1};
    }

    bool operator== (const SignalState& other) const
    {
        return handler == other.handler && blockedOnThisThread == other.blockedOnThisThread;
    }
};

// Puts the host's SIGPIPE disposition back as it was before the test.
struct DispositionRestorer
{
    DispositionRestorer()
    {
        sigaction (SIGPIPE, nullptr, &saved);
    }
    ~DispositionRestorer()
    {
        sigaction (SIGPIPE, &saved, nullptr);
    }
    struct sigaction saved
    {
    };
};
} // namespace

TEST (SigPipeTest, ClientsLeavingMidReplyNeverSignalTheHostAndItsDispositionIsKept)
{
    struct Disposition
    {
        const char* name;
        void (*handler) (int);
    };

    int faultsInjected = 0;

    for (const auto& disposition : {Disposition{"default: the process would end", SIG_DFL},
                                    Disposition{"ignored", SIG_IGN},
                                    Disposition{"a handler of the host's", &hostHandler}})
    {
        SCOPED_TRACE (disposition.name);
        DispositionRestorer restorer;
        struct sigaction action
        {
        };
        action.sa_handler = disposition.handler;
        sigemptyset (&action.sa_mask);
        ASSERT_EQ (sigaction (SIGPIPE, &action, nullptr), 0);
        hostHandlerCalls = 0;

        const auto before = SignalState::now();
        ExtensionHarness harness (kTimedEmptyProject);
        harness.host().addTrack();
        // Replies of about 4 KB, so a few fill the reply FIFO (64 KiB on Linux, about 8 KiB on
        // macOS) and a send has to wait.
        harness.host().setProjectPath ("/" + std::string (3990, 'p'));
        ASSERT_TRUE (harness.load().ok());
        EXPECT_TRUE (SignalState::now() == before);

        for (int round = 0; round < 3; ++round)
        {
            // The client fills the reply FIFO without reading, then leaves while the
            // extension waits to write the next reply: that write fails with EPIPE.
            ClientThread leaving ([&]
                                  {
                PipeClient pipe;
                ASSERT_TRUE (pipe.open (ExtensionHarness::pipeName, 5000));
                for (int i = 0; i < 40; ++i)
                    ASSERT_TRUE (pipe.send (request_payloads::session(), 5000));
                std::this_thread::sleep_for (300ms);
                pipe.close(); });

            const int handledBefore = harness.host().journal().countOf ("GetProjectPath");
            harness.resetTickStatistics();
            ASSERT_TRUE (harness.pumpUntil ([&]
                                            { return leaving.done() && harness.host().journal().countOf ("GetProjectPath") == handledBefore + 40; },
                                            30s));
            leaving.join();
            ++faultsInjected;

            // The waiting write ended when the client left, not at its deadline: it failed
            // with EPIPE, which is when SIGPIPE is raised. It waits on the writer's thread, so
            // no round waits with it (a round that did would take up to the deadline, 1 s).
            EXPECT_LT (harness.longestTick(), 200ms);
        }

        EXPECT_TRUE (SignalState::now() == before);
        EXPECT_EQ (hostHandlerCalls, 0);

        harness.unload();
        EXPECT_TRUE (SignalState::now() == before);
    }

    RecordProperty ("faults_injected", faultsInjected);
}
