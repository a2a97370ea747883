// bv-client's other subcommands, and its JSON output, against the real extension.

#include <filesystem>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "LoadedExtensionTest.h"

using client_testing::LoadedExtensionTest;

TEST_F (LoadedExtensionTest, EachQueryPrintsItsAnswer)
{
    struct Case
    {
        std::vector<std::string> arguments;
        std::string out;
    };

    const Case cases[] = {
        {{"version"}, "reaper ext 1.1\n"},
        {{"project-path"}, "/home/editor/Film\n"},
        {{"selected"}, "null\n"},
        {{"info"}, "sent info request (the extension does not answer it)\n"},
        {{"raw", "08", "03"}, "08 03 BA 06 10 0A 0E 72 65 61 70 65 72 20 65 78 74 20 31 2E 31\n"},
        {{"raw", "0806"}, "08 01 AA 06 06 12 04 6E 75 6C 6C\n"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::PrintToString (c.arguments));
        const auto run = client (c.arguments);
        EXPECT_EQ (run.exitCode, 0) << run.err;
        EXPECT_EQ (run.out, c.out);
        EXPECT_EQ (run.err, "");
    }

    EXPECT_TRUE (waitForLog ("Info request\r\n"));
}

TEST_F (LoadedExtensionTest, SelectedPrintsTheReportWithUnixLineEnds)
{
    const auto file = audioFile ("door.wav", 4.0);
    auto& item = model.addItem (*model.track (0), 2.0, 1.5);
    auto& take = model.addTake (item);
    ASSERT_TRUE (model.setTakeSourceFromFile (take, file));
    take.startOffset = 0.25;
    model.selectItem (item);

    const auto run = client ({"selected"});

    EXPECT_EQ (run.exitCode, 0) << run.err;
    EXPECT_EQ (run.out, "{\n  \"src\": \"" + file + "\",\n  \"start\": 0.250,\n  \"len\": 1.500,\n  \"pcmsr\": 48000,\n  \"pcmlen\": 4.000\n}\n");
}

TEST_F (LoadedExtensionTest, JsonGivesOneObjectPerReply)
{
    const auto file = audioFile ("door.wav", 2.0);
    auto& item = model.addItem (*model.track (0), 0.0, 2.0);
    ASSERT_TRUE (model.setTakeSourceFromFile (model.addTake (item), file));
    model.selectItem (item);

    const auto missing = path ("missing.wav");
    const auto run = client ({"--json", "spot", file, missing});
    EXPECT_EQ (run.exitCode, 1);

    // Options may also follow the subcommand.
    const auto queries = client ({"version", "--json"});
    const auto selected = client ({"selected", "--json"});
    const auto info = client ({"info", "--json"});

    std::vector<nlohmann::json> objects;

    for (const auto* text : {&run.out, &queries.out, &selected.out, &info.out})
    {
        std::istringstream lines (*text);

        for (std::string line; std::getline (lines, line);)
            objects.push_back (nlohmann::json::parse (line));
    }

    ASSERT_EQ (objects.size(), 5u);
    EXPECT_EQ (objects[0], nlohmann::json ({{"request", "spot"}, {"target", file}, {"reply", "command-result"}, {"ok", true}}));
    EXPECT_EQ (objects[1]["ok"], false);
    EXPECT_EQ (objects[1]["error"], "Unable to find source file:" + missing);
    EXPECT_EQ (objects[2]["version"], "reaper ext 1.1");
    EXPECT_EQ (objects[3]["item"]["src"], file);
    EXPECT_EQ (objects[3]["item"]["pcmlen"], 2.0);
    EXPECT_EQ (objects[3]["text"].get<std::string>().find ("\r\n"), 1u);
    EXPECT_EQ (objects[4], nlohmann::json ({{"request", "info"}, {"reply", "none"}, {"ok", true}}));
}

TEST_F (LoadedExtensionTest, ExploreOpensTheMediaExplorerOnTheAbsolutePath)
{
    const auto file = audioFile ("door.wav", 1.0);

    const auto run = client ({"explore", "door.wav"}, folder.string());

    EXPECT_EQ (run.exitCode, 0) << run.err;
    EXPECT_EQ (run.out, "shown in Media Explorer: " + file + "\n");
    ASSERT_EQ (model.project().explorerRequests.size(), 1u);
    EXPECT_EQ (model.project().explorerRequests[0].file, file);
}

TEST_F (LoadedExtensionTest, RawPacketsReachTheExtensionAsGiven)
{
    // 7 is no request type: the extension logs it and does not answer.
    const auto quiet = client ({"raw", "--no-reply", "08:07"});
    EXPECT_EQ (quiet.exitCode, 0) << quiet.err;
    EXPECT_TRUE (waitForLog ("Unable to parse message\r\n"));

    // Waiting for an answer that never comes ends at the timeout, with advice.
    const auto waiting = client ({"raw", "08 07", "--timeout", "300"});
    EXPECT_EQ (waiting.exitCode, 3);
    EXPECT_NE (waiting.err.find ("no reply to the raw request within 300 ms"), std::string::npos) << waiting.err;
    EXPECT_NE (waiting.err.find ("--no-reply"), std::string::npos);
    EXPECT_LT (waiting.took.count(), 3000);

    // The extension is unharmed.
    EXPECT_EQ (client ({"version"}).out, "reaper ext 1.1\n");
}

TEST_F (LoadedExtensionTest, DoctorPassesEveryCheckWhenTheExtensionServes)
{
    const auto plugins = installedPlugins();

    const auto run = client ({"doctor", "--plugins", plugins});

    EXPECT_EQ (run.exitCode, 0) << run.out << run.err;

    for (const auto* line : {"ok    module", "ok    architecture", "ok    libraries", "ok    log", "ok    pipe files", "ok    holders", "ok    round trip"})
        EXPECT_NE (run.out.find (line), std::string::npos) << line << "\n"
                                                           << run.out;

    // The stand-in REAPER is this process.
    EXPECT_NE (run.out.find ("REAPER " + std::to_string (getpid()) + " "), std::string::npos) << run.out;
    EXPECT_NE (run.out.find ("answered \"reaper ext 1.1\" in "), std::string::npos) << run.out;
    EXPECT_NE (run.out.find ("verdict: all checks passed"), std::string::npos) << run.out;
}

// A FIFO at the log's path when REAPER starts: the extension logs beside it, to a file of its
// own, and answers.
class LogPathInTheWayTest : public LoadedExtensionTest
{
protected:
    void beforeLoad() override
    {
        std::filesystem::create_directories (std::filesystem::path (logPath()).parent_path());
        ASSERT_EQ (mkfifo (logPath().c_str(), 0600), 0);
    }

    std::string logPath() const
    {
        return harness->home().logFilePath();
    }
};

TEST_F (LogPathInTheWayTest, DoctorReadsTheLogTheExtensionWritesInsteadAndSaysWhatToRemove)
{
    const auto plugins = installedPlugins();
    const auto log = logPath();
    const auto own = std::filesystem::path (log).parent_path() / "Reaper.own.txt";

    const auto before = client ({"doctor", "--plugins", plugins});

    EXPECT_EQ (before.exitCode, 1) << before.out << before.err;
    EXPECT_NE (before.out.find ("FAIL  log           the log " + log + " is a FIFO, not a regular file, so the extension logs to " + own.string()
                                + " instead, which says: the serving start made the pipe: \"pipe created\""),
               std::string::npos)
        << before.out;
    EXPECT_NE (before.out.find ("to do: remove it (rm -r " + log + "): REAPER's next start logs there again"), std::string::npos) << before.out;
    EXPECT_NE (before.out.find ("ok    round trip"), std::string::npos) << before.out;
    EXPECT_NE (before.out.find ("verdict: the extension answers, but its log is " + own.string() + ", since " + log + " is a FIFO"), std::string::npos) << before.out;

    // Removed as advised: this REAPER still logs beside it, until its next start.
    ASSERT_EQ (unlink (log.c_str()), 0);
    const auto after = client ({"doctor", "--plugins", plugins});

    EXPECT_EQ (after.exitCode, 0) << after.out << after.err;
    EXPECT_NE (after.out.find ("ok    log           the serving start made the pipe: \"pipe created\""), std::string::npos) << after.out;
    EXPECT_NE (after.out.find ("(read from " + own.string() + ": the running REAPER logs there"), std::string::npos) << after.out;
    EXPECT_NE (after.out.find ("verdict: all checks passed"), std::string::npos) << after.out;
}
