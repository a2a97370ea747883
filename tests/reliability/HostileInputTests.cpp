// A careless or hostile client, and a log file that is taken away: the real module in the
// stand-in host must keep its memory and its log bounded, write every log line as one line,
// and keep logging (or keep the lines) whatever happens to the log file.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "ExtensionHarness.h"
#include "LogFileLines.h"
#include "PacketBuilder.h"
#include "PipeClient.h"
#include "ProcessMemory.h"
#include "RequestPayloads.h"
#include "reaper.pb.h"

using testing_support::countOf;
using testing_support::ExtensionHarness;

namespace
{
// AddressSanitizer holds freed memory back (up to 256 MB) to catch uses after free, so the
// resident size then says nothing about what the extension keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeIsTheExtensions = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentSizeIsTheExtensions = false;
#else
constexpr bool kResidentSizeIsTheExtensions = true;
#endif
#else
constexpr bool kResidentSizeIsTheExtensions = true;
#endif
constexpr int kTimeoutMs = 10000;

long long fileSize (const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size (path, error);
    return error ? -1 : static_cast<long long> (size);
}

// Many packets in one buffer, written in one go.
std::string packets (const std::string& payload, int count)
{
    const auto one = buildPacket (pipe_contract::kPacketMagic, payload.data(), payload.size());
    std::string all;
    all.reserve (one.size() * static_cast<std::size_t> (count));

    for (int i = 0; i < count; ++i)
        all += one;

    return all;
}

// How many repetitions of the line the log's counts add up to: a run that lasts longer than
// the summary delay is counted in several lines.
long long repeatsCounted (const std::vector<std::string>& lines, const std::string& line)
{
    long long total = 0;
    const auto prefix = line + " (repeated ";

    for (const auto& candidate : lines)
    {
        if (candidate.rfind (prefix, 0) != 0)
            continue;

        auto digits = candidate.substr (prefix.size());
        digits.erase (std::remove (digits.begin(), digits.end(), ','), digits.end());
        total += std::stoll (digits);
    }

    return total;
}

bool isVersionReply (const std::optional<std::string>& reply)
{
    return reply && request_payloads::mismatch (*reply, {}).empty();
}

// A folder the extension cannot make files in. Root may write anywhere, so for root a file
// takes the folder's place instead, which refuses the same way.
class UnwritableFolder
{
public:
    explicit UnwritableFolder (std::string folderPath)
        : folder (std::move (folderPath))
    {
        if (::geteuid() != 0)
        {
            std::filesystem::permissions (folder, std::filesystem::perms (0555));
            return;
        }

        std::filesystem::remove_all (folder);
        std::FILE* file = std::fopen (folder.c_str(), "w");
        std::fclose (file);
    }

    void restore()
    {
        if (::geteuid() != 0)
            std::filesystem::permissions (folder, std::filesystem::perms (0755));
        else
            std::filesystem::remove (folder);
    }

private:
    std::string folder;
};
} // namespace

// A million info requests (10 MB) written as fast as the pipe takes them: the extension
// reads no further than its inbox's bound, so its memory hardly grows and the client's
// writes wait; the log gets a few lines, not a million; a version request sent after the
// flood is answered.
TEST (HostileInputTest, AFloodOfAMillionRequestsKeepsMemoryAndLogBoundedAndIsServedToTheEnd)
{
    constexpr int kFlood = 1000000;
    constexpr int kPerWrite = 5000;
    ExtensionHarness harness;
    harness.load();

    const auto log = harness.home().logFilePath();
    const auto logBefore = fileSize (log);
    const auto residentBefore = process_memory::residentKiB();
    long mostResident = residentBefore;
    bool written = false;
    std::optional<std::string> reply;
    double answerSeconds = 0;

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open (ExtensionHarness::pipeName, kTimeoutMs));
                           const auto chunk = packets (request_payloads::info(), kPerWrite);
                           written = true;

                           for (int sent = 0; sent < kFlood && written; sent += kPerWrite)
                           {
                               written = client.sendRaw (chunk, 120000);

                               if ((sent / kPerWrite) % 10 == 0)
                                   mostResident = std::max (mostResident, process_memory::residentKiB());
                           }

                           const auto start = std::chrono::steady_clock::now();
                           ASSERT_TRUE (client.send (request_payloads::version(), kTimeoutMs));
                           reply = client.receive (120000);
                           answerSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count(); });

    const auto addedKiB = mostResident - residentBefore;
    std::printf ("flood of %d info requests: resident memory grew by at most %ld KiB; the version request after it "
                 "was answered in %.3f s; the log grew by %lld bytes\n",
                 kFlood, addedKiB, answerSeconds, fileSize (log) - logBefore);

    ASSERT_TRUE (written);
    EXPECT_TRUE (isVersionReply (reply));

    // Without the bound, the backlog took 45 MB; the bound is 16 MiB, and 4,096 packets of
    // this size take well under one.
    if (kResidentSizeIsTheExtensions)
    {
        EXPECT_LT (addedKiB, 12 * 1024);
    }

    EXPECT_LT (answerSeconds, 60.0);

    // 101 lines in full; the rest counted, the count written within a second or two.
    EXPECT_LT (fileSize (log) - logBefore, 16 * 1024);
    EXPECT_TRUE (harness.pumpUntil ([&]
                                    { return repeatsCounted (harness.logLines(), "Info request") == kFlood - 101; }));
    EXPECT_EQ (countOf (harness.logLines(), "Info request"), 101);
}

// A request is read whole up to 1 MiB (a spot of a 200,000-byte path is carried out and
// answered); one above it is skipped without being read into memory, with one log line, and
// the request after it is answered.
TEST (HostileInputTest, RequestsAreReadUpToTheLimitAndSkippedUnreadAboveIt)
{
    constexpr std::uint32_t kOversize = 2 * 1024 * 1024;
    ExtensionHarness harness;
    harness.load();

    const auto longPath = "/missing/" + std::string (200000 - 9, 'p');
    std::optional<std::string> longReply, reply;
    long peakAddedKiB = 0;

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open (ExtensionHarness::pipeName, kTimeoutMs));
                           ASSERT_TRUE (client.send (request_payloads::spot (longPath, "take"), kTimeoutMs));
                           longReply = client.receive (kTimeoutMs);

                           // Written from one 64 KiB piece again and again, so this client adds
                           // nothing to the memory measured.
                           ASSERT_TRUE (process_memory::resetPeak());
                           const auto residentBefore = process_memory::residentKiB();
                           const auto header = buildPacket (pipe_contract::kPacketMagic, "", 0).substr (0, 4)
                                               + std::string ({static_cast<char> (kOversize & 0xff), static_cast<char> ((kOversize >> 8) & 0xff),
                                                               static_cast<char> ((kOversize >> 16) & 0xff), static_cast<char> (kOversize >> 24)});
                           ASSERT_TRUE (client.sendRaw (header, kTimeoutMs));
                           const std::string piece (65536, '\x7f');

                           for (std::uint32_t sent = 0; sent < kOversize; sent += piece.size())
                               ASSERT_TRUE (client.sendRaw (piece, kTimeoutMs));

                           ASSERT_TRUE (client.send (request_payloads::version(), kTimeoutMs));
                           reply = client.receive (kTimeoutMs);
                           peakAddedKiB = process_memory::peakResidentKiB() - residentBefore; });

    ASSERT_TRUE (longReply.has_value());
    BVReaper::ServerMessage decoded;
    ASSERT_TRUE (decoded.ParseFromString (*longReply));
    EXPECT_EQ (decoded.error().description(), "Unable to find source file:" + longPath);

    EXPECT_TRUE (isVersionReply (reply));
    const auto lines = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (countOf (lines, "Skipped a packet of 2097152 bytes: larger than the limit of 1048576 bytes"), 1);
    EXPECT_EQ (countOf (lines, "Unable to parse message"), 0);
    std::printf ("a request of %u bytes skipped: resident memory grew by at most %ld KiB\n", kOversize, peakAddedKiB);

    // Read into memory, it took at least its 2 MiB.
    if (kResidentSizeIsTheExtensions)
    {
        EXPECT_LT (peakAddedKiB, 1024);
    }
}

// Undecodable packets log an assertion line and "Unable to parse message" each; a flood of
// them costs a few hundred lines, whose count is written once the flood stops.
TEST (HostileInputTest, AFloodOfUndecodablePacketsIsLoggedAsACount)
{
    ExtensionHarness harness;
    harness.load();
    const auto log = harness.home().logFilePath();
    const auto logBefore = fileSize (log);
    std::optional<std::string> reply;

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open (ExtensionHarness::pipeName, kTimeoutMs));
                           ASSERT_TRUE (client.sendRaw (packets (request_payloads::undecodable(), 50000), 60000));
                           ASSERT_TRUE (client.send (request_payloads::version(), kTimeoutMs));
                           reply = client.receive (60000); });

    EXPECT_TRUE (isVersionReply (reply));
    EXPECT_LT (fileSize (log) - logBefore, 16 * 1024);

    ASSERT_TRUE (harness.pumpUntil ([&]
                                    { return repeatsCounted (harness.logLines(), "Unable to parse message") == 49899; }));
    const auto lines = harness.logLines();
    EXPECT_EQ (countOf (lines, "Unable to parse message"), 101);

    // The assertion line before each is counted alike.
    const auto assertion = std::find_if (lines.begin(), lines.end(), testing_support::isAssertionLine);
    ASSERT_NE (assertion, lines.end());
    EXPECT_EQ (repeatsCounted (lines, *assertion), 49899);
}

// Distinct lines, a megabyte and more of them: the log is cut back to its last 128 KiB
// whenever it has grown by 1 MiB since the start, and goes on.
TEST (HostileInputTest, TheLogNeverGrowsMoreThanAMebibytePastItsStartSize)
{
    ExtensionHarness harness;
    harness.load();
    const auto log = harness.home().logFilePath();
    const auto startSize = fileSize (log);
    long long largest = 0;
    int answered = 0;
    const std::string longName (900, 'n');

    harness.runClient ([&] (PipeClient& client)
                       {
                           ASSERT_TRUE (client.open (ExtensionHarness::pipeName, kTimeoutMs));

                           // A missing file: "Spotting:", two assertion lines, the failure text.
                           for (int i = 0; i < 800; ++i)
                           {
                               const auto path = "/missing/" + longName + std::to_string (i) + ".wav";
                               ASSERT_TRUE (client.send (request_payloads::spot (path, "take"), kTimeoutMs));
                               answered += client.receive (kTimeoutMs) ? 1 : 0;
                               largest = std::max (largest, fileSize (log));
                           } });

    EXPECT_EQ (answered, 800);
    EXPECT_LE (largest, startSize + 1024 * 1024 + 4096);

    // A failed spot's lines are logged once its reply is written: the last one may follow the
    // reply the client has read.
    const auto lastFailure = "Unable to find source file:/missing/" + longName + "799.wav\r\n";
    harness.pumpUntil ([&]
                       { return testing_support::readWholeFile (log).find (lastFailure) != std::string::npos; });
    const auto text = testing_support::readWholeFile (log);
    EXPECT_NE (text.find ("Log trimmed to its last 131072 bytes"), std::string::npos);
    EXPECT_NE (text.find (lastFailure), std::string::npos);
}

// A file name with every control character: the log shows it escaped on one line, the reply
// carries it unchanged, and no log line can be forged through it.
TEST (HostileInputTest, ControlCharactersInAPathCannotForgeLogLines)
{
    ExtensionHarness harness;
    harness.load();

    std::string path = "/missing/new";

    for (char c = 1; c < 0x20; ++c)
        path += std::string (1, c) + (c == '\n' ? "pipe created\r\nCurrent Position:0 Length:1 New Position:1" : "");

    path += "\x7F\xC2\x85\xE2\x80\xA8line.wav";
    const auto reply = harness.request (request_payloads::spot (path, "take\nname"));

    ASSERT_TRUE (reply.has_value());
    BVReaper::ServerMessage decoded;
    ASSERT_TRUE (decoded.ParseFromString (*reply));
    EXPECT_EQ (decoded.error().description(), "Unable to find source file:" + path);

    // The failure text is logged once the reply is written, so it may follow the reply.
    harness.pumpUntil ([&]
                       {
                           const auto logged = testing_support::messageLines (harness.logLines());
                           return !logged.empty() && logged.back().rfind ("Unable to find source file:", 0) == 0; });
    const auto lines = testing_support::messageLines (harness.logLines());
    EXPECT_EQ (countOf (lines, "pipe created"), 1); // the real one, at load
    EXPECT_EQ (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
                              { return line.rfind ("Current Position:", 0) == 0 || line.find ("line.wav") == 0; }),
               0);

    const auto spotting = std::find_if (lines.begin(), lines.end(), [] (const std::string& line)
                                        { return line.rfind ("Spotting:", 0) == 0; });
    ASSERT_NE (spotting, lines.end());
    EXPECT_EQ (spotting->rfind ("Spotting:/missing/new\\x01\\x02", 0), 0u) << *spotting;
    EXPECT_NE (spotting->find ("\\t\\npipe created\\r\\nCurrent Position:0 Length:1 New Position:1\\x0B"), std::string::npos) << *spotting;
    EXPECT_NE (spotting->find ("\\x1F\\x7F\\u0085\\u2028line.wav"), std::string::npos) << *spotting;
    EXPECT_EQ (lines.back(), "Unable to find source file:" + spotting->substr (9));
}

// Removed, renamed (a log rotation), or its whole folder gone: the next line makes the log
// again at its place, banner first.
TEST (HostileInputTest, ALogFileTakenAwayIsMadeAgainByTheNextLine)
{
    ExtensionHarness harness;
    harness.load();
    const auto log = harness.home().logFilePath();
    const auto folder = std::filesystem::path (log).parent_path();

    const struct
    {
        const char* what;
        std::function<void()> takeAway;
    } cases[] = {
        {"removed", [&]
         { std::filesystem::remove (log); }},
        {"folder removed", [&]
         { std::filesystem::remove_all (folder); }},
        {"renamed", [&]
         { std::filesystem::rename (log, log + ".1"); }},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        c.takeAway();
        EXPECT_FALSE (harness.request (request_payloads::info(), 200).has_value());

        const auto lines = harness.logLines();
        EXPECT_EQ (testing_support::bannerCount (lines), 1);
        EXPECT_EQ (testing_support::messageLines (lines), (std::vector<std::string>{"Info request"}));
    }

    EXPECT_EQ (testing_support::messageLines (testing_support::readLogLines (log + ".1")),
               (std::vector<std::string>{"Info request"})); // what the renamed file had stays there
}

// The log's folder unwritable after the file went: requests are served as ever, their lines
// wait in memory, and once the folder is writable again the next line makes the file with
// them in it.
TEST (HostileInputTest, AnUnwritableLogFolderBlocksNothingAndTheLinesArriveWhenItIsWritable)
{
    ExtensionHarness harness;
    harness.load();
    const auto log = harness.home().logFilePath();
    std::filesystem::remove (log);
    UnwritableFolder blocked (std::filesystem::path (log).parent_path().string());

    for (int i = 0; i < 3; ++i)
        harness.request (request_payloads::info(), 100);

    EXPECT_TRUE (isVersionReply (harness.request (request_payloads::version())));
    EXPECT_FALSE (std::filesystem::exists (log));

    blocked.restore();
    harness.request (request_payloads::info(), 100);

    const auto lines = harness.logLines();
    EXPECT_EQ (testing_support::bannerCount (lines), 1);
    EXPECT_EQ (testing_support::messageLines (lines), (std::vector<std::string> (4, "Info request")));
}
