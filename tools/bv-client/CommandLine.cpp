#include "CommandLine.h"

#include <algorithm>
#include <iostream>

#include <CLI/CLI.hpp>

#include "ClientRequests.h"
#include "ExitCodes.h"

namespace
{
const char* const kFooter = R"(
Exit status: 0 done; 1 the extension reported a failure (its text is printed), or a
doctor check failed; 2 bad arguments; 3 the extension is not running or did not answer
in time (requests already sent may still be carried out).

Examples:
  bv-client spot ~/Sounds/door.wav --start 0.5 --end 2.5 --name Door
  bv-client spot a.wav b.wav c.wav        (spotted one after the other)
  bv-client --json selected               (one JSON object per reply)
  bv-client raw "08 03"                   (a version request, bytes in hex)
  bv-client doctor                        (is it installed and answering? what to do if not)
)";

// The spot's settings as CLI11 fills them; only options given go into the message.
struct SpotArguments
{
    std::vector<std::string> files;
    float start = 0, end = 0, rate = 0, volume = 0;
    std::string takeName;
    client_requests::SpotOptions options;
    CLI::Option* startOption = nullptr;
    CLI::Option* endOption = nullptr;
    CLI::Option* rateOption = nullptr;
    CLI::Option* volumeOption = nullptr;
    CLI::Option* nameOption = nullptr;

    client_requests::SpotOptions given() const
    {
        auto result = options;

        if (*startOption)
            result.startOffset = start;
        if (*endOption)
            result.endOffset = end;
        if (*rateOption)
            result.playRate = rate;
        if (*volumeOption)
            result.volume = volume;
        if (*nameOption)
            result.takeName = takeName;

        return result;
    }
};

// CLI11 reports a misspelt subcommand only as "a subcommand is required": say which word
// was not understood and what would have been. Options taking a value are skipped with it.
bool reportUnknownSubcommand (CLI::App& app, int argc, const char* const* argv)
{
    std::vector<std::string> names;

    for (const auto* command : app.get_subcommands ([] (CLI::App*)
                                                    { return true; }))
        names.push_back (command->get_name());

    std::string word;

    for (int i = 1; i < argc && word.empty(); ++i)
    {
        const std::string argument = argv[i];

        if (argument == "--pipe" || argument == "--timeout")
            ++i;
        else if (argument.empty() || argument[0] != '-')
            word = argument;
    }

    for (const auto& name : names)
        if (word == name)
            return false;

    if (word.empty())
        std::cerr << "bv-client: no subcommand given";
    else
        std::cerr << "bv-client: unknown subcommand \"" << word << "\"";

    std::cerr << "; the subcommands are:";

    for (const auto& name : names)
        std::cerr << " " << name;

    std::cerr << " (bv-client --help describes them)\n";
    return true;
}

PendingRequest messageRequest (const BVReaper::ClientMessage& message, const std::string& label = {}, bool expectsReply = true)
{
    PendingRequest request;
    request.message = message;
    request.label = label;
    request.expectsReply = expectsReply;
    return request;
}

void addSpotCommand (CLI::App& app, SpotArguments& spot)
{
    auto* command = app.add_subcommand ("spot", "place audio files on the timeline at the edit cursor, on the selected track");
    command->add_option ("files", spot.files, "audio files, spotted one after the other (relative paths are made absolute)")->required();
    spot.startOption = command->add_option ("--start", spot.start, "start offset into the file, seconds");
    spot.endOption = command->add_option ("--end", spot.end, "end point in the file, seconds (item length = end - start)");
    spot.rateOption = command->add_option ("--rate", spot.rate, "play rate (1 = normal speed)");
    command->add_flag ("--preserve-pitch", spot.options.preservePitch, "keep the pitch when the rate changes (only with --rate)");
    spot.volumeOption = command->add_option ("--volume", spot.volume, "linear volume (1 = 0 dB)");
    spot.nameOption = command->add_option ("--name", spot.takeName, "take name");
    command->add_flag ("--pool-only", spot.options.poolOnly, "mark the request as pool-only (the extension only logs it)");
}
} // namespace

CommandLineResult parseCommandLine (int argc, const char* const* argv)
{
    CommandLineResult result;
    auto& plan = result.plan;

    CLI::App app{"bv-client: talks to the Belvanta extension inside REAPER over its named pipe,\n"
                 "as the sound-library application does. For scripting and diagnosis.",
                 "bv-client"};
    app.require_subcommand (1);
    app.fallthrough();
    app.footer (kFooter);
    app.add_option ("--pipe", plan.pipeName, "pipe name: FIFOs /tmp/NAME_in and /tmp/NAME_out")->capture_default_str();
    app.add_option ("--timeout", plan.timeoutMs, "milliseconds to wait for another bv-client to finish, for the pipe, and for each reply")
        ->capture_default_str()
        ->check (CLI::Range (1, 600000));
    app.add_flag ("--json", plan.json, "print each reply as one JSON object per line");

    SpotArguments spot;
    addSpotCommand (app, spot);

    app.add_subcommand ("version", "print the extension's version");
    app.add_subcommand ("project-path", "print the current project's path");

    std::string exploreFile;
    app.add_subcommand ("explore", "open a file in REAPER's Media Explorer")->add_option ("file", exploreFile, "the file to show")->required();
    app.add_subcommand ("selected", "print the first selected media item: file, offset, length, sample rate, source length");
    app.add_subcommand ("info", "send an info request (the extension logs \"Info request\" and does not answer)");

    app.add_subcommand ("doctor", "check the installation step by step: module, libraries, log, pipe, a round trip; says what to do")
        ->add_option ("--plugins", plan.pluginsFolder, "REAPER's UserPlugins folder, if not the default (a portable REAPER)");

    std::vector<std::string> rawHexWords;
    bool rawNoReply = false;
    auto* raw = app.add_subcommand ("raw", "send any payload given in hex as one packet and print the reply's bytes");
    raw->add_option ("hex", rawHexWords, "payload bytes in hexadecimal, e.g. \"08 03\" (spaces and colons allowed)")->required();
    raw->add_flag ("--no-reply", rawNoReply, "do not wait for a reply (the extension sends none to a packet it cannot parse)");

    try
    {
        app.parse (argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        if (app.get_subcommands().empty() && e.get_exit_code() != 0 && reportUnknownSubcommand (app, argc, argv))
        {
            result.exitCode = kExitBadArguments;
            return result;
        }

        result.exitCode = app.exit (e) == 0 ? kExitOk : kExitBadArguments;
        return result;
    }

    const auto name = app.get_subcommands().front()->get_name();

    // An empty name would be made into the working folder's path, or sent as nothing.
    const auto hasEmptyName = [] (const std::vector<std::string>& files)
    {
        return std::find (files.begin(), files.end(), std::string()) != files.end();
    };

    if ((name == "spot" && hasEmptyName (spot.files)) || (name == "explore" && exploreFile.empty()))
    {
        std::cerr << "bv-client: " << name << ": an empty file name (\"\") names no file; nothing was sent\n";
        result.exitCode = kExitBadArguments;
        return result;
    }
    using Type = BVReaper::ClientMessage;

    if (name == "spot")
    {
        const auto options = spot.given();

        for (const auto& file : spot.files)
        {
            const auto path = client_requests::absolutePath (file);
            plan.requests.push_back (messageRequest (client_requests::spot (path, options), path));
        }
    }
    else if (name == "version")
        plan.requests.push_back (messageRequest (client_requests::simple (Type::VERSION_REQUEST)));
    else if (name == "project-path")
        plan.requests.push_back (messageRequest (client_requests::simple (Type::SESSION_REQUEST)));
    else if (name == "explore")
    {
        const auto path = client_requests::absolutePath (exploreFile);
        plan.requests.push_back (messageRequest (client_requests::explore (path), path));
    }
    else if (name == "selected")
        plan.requests.push_back (messageRequest (client_requests::simple (Type::SELECTED_FILE_REQUEST)));
    else if (name == "info")
        plan.requests.push_back (messageRequest (client_requests::simple (Type::INFO_REQUEST), {}, false));
    else if (name == "doctor")
        plan.doctor = true;
    else if (name == "raw")
    {
        std::string rawHex;

        for (const auto& word : rawHexWords)
            rawHex += (rawHex.empty() ? "" : " ") + word;

        const auto bytes = client_requests::bytesFromHex (rawHex);

        if (!bytes || bytes->empty())
        {
            std::cerr << "bv-client: raw: \"" << rawHex << "\" is not a non-empty hexadecimal byte string\n";
            result.exitCode = kExitBadArguments;
            return result;
        }

        PendingRequest request;
        request.isRaw = true;
        request.rawPayload = *bytes;
        request.expectsReply = !rawNoReply;
        plan.requests.push_back (request);
    }

    result.proceed = true;
    return result;
}
