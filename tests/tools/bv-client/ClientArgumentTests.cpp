// bv-client's command line: help, bad arguments, and what it says when nobody listens.
// Nothing here uses the extension's pipe name; each test has its own.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ClientRuns.h"

using client_testing::runClient;

namespace
{
std::string uniquePipeName (const std::string& what)
{
    return "bv_client_test_" + std::to_string (getpid()) + "_" + what;
}

bool exists (const std::string& path)
{
    return access (path.c_str(), F_OK) == 0;
}

// FIFOs of a pipe that someone has open for reading but never answers on.
class SilentListener
{
public:
    explicit SilentListener (const std::string& pipeName)
        : requestPath ("/tmp/" + pipeName + "_in")
        , replyPath ("/tmp/" + pipeName + "_out")
    {
        mkfifo (requestPath.c_str(), 0600);
        mkfifo (replyPath.c_str(), 0600);
        readEnd = ::open (requestPath.c_str(), O_RDONLY | O_NONBLOCK);
    }

    ~SilentListener()
    {
        if (readEnd >= 0)
            ::close (readEnd);

        unlink (requestPath.c_str());
        unlink (replyPath.c_str());
    }

    SilentListener (const SilentListener&) = delete;
    SilentListener& operator= (const SilentListener&) = delete;

    bool listening() const
    {
        return readEnd >= 0;
    }

private:
    std::string requestPath, replyPath;
    int readEnd = -1;
};
} // namespace

TEST (ClientArguments, HelpDescribesEverySubcommandAndTheExitCodes)
{
    const auto run = runClient ({BV_CLIENT_PATH, "--help"});

    EXPECT_EQ (run.exitCode, 0);

    for (const auto* word : {"spot", "version", "project-path", "explore", "selected", "info", "raw", "doctor", "--json", "--timeout", "--pipe", "Exit status"})
        EXPECT_NE (run.out.find (word), std::string::npos) << word;

    const auto spotHelp = runClient ({BV_CLIENT_PATH, "spot", "--help"});
    EXPECT_EQ (spotHelp.exitCode, 0);

    for (const auto* word : {"--start", "--end", "--rate", "--preserve-pitch", "--volume", "--name", "--pool-only"})
        EXPECT_NE (spotHelp.out.find (word), std::string::npos) << word;
}

TEST (ClientArguments, BadArgumentsExitWithTwoAndSendNothing)
{
    // A pipe nobody serves: a client that got as far as opening it would exit with 3.
    const auto pipe = uniquePipeName ("args");

    const std::vector<std::vector<std::string>> cases = {
        {},
        {"bogus"},
        {"spot"},
        {"explore"},
        {"raw"},
        {"raw", "zz"},
        {"raw", "080"}, // an odd number of digits
        {"spot", "a.wav", "--rate", "fast"},
        {"spot", "a.wav", "--unknown"},
        {"--timeout", "0", "version"},
        {"--timeout", "-5", "version"},
        {"version", "extra"},
        {"version", "selected"},
        {"spot", ""},
        {"spot", "a.wav", ""},
        {"explore", ""},
    };

    for (const auto& arguments : cases)
    {
        SCOPED_TRACE (testing::PrintToString (arguments));
        std::vector<std::string> command{BV_CLIENT_PATH, "--pipe", pipe};
        command.insert (command.end(), arguments.begin(), arguments.end());

        const auto run = runClient (command);

        EXPECT_EQ (run.exitCode, 2) << run.out << run.err;
        EXPECT_FALSE (run.err.empty());
        EXPECT_LT (run.took.count(), 2000);
    }
}

TEST (ClientArguments, AnUnknownSubcommandIsNamedWithTheValidOnes)
{
    const auto run = runClient ({BV_CLIENT_PATH, "--timeout", "100", "verison"});

    EXPECT_EQ (run.exitCode, 2);
    EXPECT_NE (run.err.find ("unknown subcommand \"verison\""), std::string::npos) << run.err;

    for (const auto* name : {"spot", "version", "project-path", "explore", "selected", "info", "raw", "doctor"})
        EXPECT_NE (run.err.find (std::string (" ") + name), std::string::npos) << name;
}

TEST (ClientArguments, NothingListeningEndsQuicklyWithThree)
{
    const auto pipe = uniquePipeName ("absent");

    for (const auto* subcommand : {"version", "info", "selected"})
    {
        SCOPED_TRACE (subcommand);
        const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe, "--timeout", "200", subcommand});

        EXPECT_EQ (run.exitCode, 3);
        EXPECT_EQ (run.out, "");
        EXPECT_NE (run.err.find ("the extension is not running: there is no /tmp/" + pipe + "_in"), std::string::npos) << run.err;
        EXPECT_LT (run.took.count(), 2000);
    }

    EXPECT_FALSE (exists ("/tmp/" + pipe + "_in"));
    EXPECT_FALSE (exists ("/tmp/" + pipe + "_out"));
    EXPECT_FALSE (exists ("/tmp/" + pipe + "_client.lock"));
}

TEST (ClientArguments, LeftoverFifosWithoutAReaderAreToldApart)
{
    const auto pipe = uniquePipeName ("leftover");
    const auto requestPath = "/tmp/" + pipe + "_in";
    const auto replyPath = "/tmp/" + pipe + "_out";
    ASSERT_EQ (mkfifo (requestPath.c_str(), 0600), 0);
    ASSERT_EQ (mkfifo (replyPath.c_str(), 0600), 0);

    const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe, "--timeout", "200", "version"});

    unlink (requestPath.c_str());
    unlink (replyPath.c_str());

    EXPECT_EQ (run.exitCode, 3);
    EXPECT_NE (run.err.find ("nothing reads " + requestPath), std::string::npos) << run.err;
    EXPECT_LT (run.took.count(), 2000);
}

TEST (ClientArguments, AListenerThatNeverAnswersTimesOut)
{
    const auto pipe = uniquePipeName ("silent");
    SilentListener listener (pipe);
    ASSERT_TRUE (listener.listening());

    const auto run = runClient ({BV_CLIENT_PATH, "--pipe", pipe, "--timeout", "300", "spot", "/a.wav", "/b.wav"});

    EXPECT_EQ (run.exitCode, 3);
    EXPECT_EQ (run.out, "");
    EXPECT_NE (run.err.find ("no reply to the spot request within 300 ms"), std::string::npos) << run.err;
    // Sent is not undone: a retry could place the files twice.
    EXPECT_NE (run.err.find ("2 requests were sent and not answered: REAPER may still carry them out"), std::string::npos) << run.err;
    EXPECT_NE (run.err.find ("place the files twice"), std::string::npos) << run.err;
    EXPECT_LT (run.took.count(), 2000);

    // An info request needs no answer, so the same listener is enough.
    const auto info = runClient ({BV_CLIENT_PATH, "--pipe", pipe, "--timeout", "300", "info"});
    EXPECT_EQ (info.exitCode, 0) << info.err;
}
