// bv-client: plays the library application's side of the pipe, for scripting and
// diagnosis. Sends one or more requests, reads the replies in order and prints them.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "ClientRequests.h"
#include "PipeClient.h"
#include "ProtocolParsing.h"
#include "ReplyFormatter.h"

namespace
{
enum ExitCode
{
    kOk = 0,
    kRequestFailed = 1,
    kBadArguments = 2,
    kNotRunning = 3
};

struct PendingRequest
{
    BVReaper::ClientMessage message;
    std::string label;
    bool expectsReply = true;
};

struct Settings
{
    std::string pipeName = "bv_reaper";
    int timeoutMs = 3000;
    bool json = false;
};

int run (const Settings& settings, const std::vector<PendingRequest>& requests, const std::string& rawPayload, bool rawExpectsReply)
{
    PipeClient pipe;

    if (!pipe.open (settings.pipeName, settings.timeoutMs))
    {
        std::cerr << "bv-client: the extension is not running: no pipe /tmp/" << settings.pipeName
                  << "_in and /tmp/" << settings.pipeName << "_out to talk to (is REAPER running with the extension loaded?)\n";
        return kNotRunning;
    }

    // Everything is written first, then the replies are read: the extension answers in
    // request order, which is how replies are paired with requests.
    std::vector<const PendingRequest*> awaiting;

    for (const auto& request : requests)
    {
        if (!pipe.send (request.message.SerializeAsString(), settings.timeoutMs))
        {
            std::cerr << "bv-client: could not write the request within " << settings.timeoutMs << " ms\n";
            return kNotRunning;
        }

        if (request.expectsReply)
            awaiting.push_back (&request);
    }

    if (!rawPayload.empty())
    {
        if (!pipe.send (rawPayload, settings.timeoutMs))
        {
            std::cerr << "bv-client: could not write the request within " << settings.timeoutMs << " ms\n";
            return kNotRunning;
        }
    }

    int exitCode = kOk;

    for (const auto* request : awaiting)
    {
        const auto payload = pipe.receive (settings.timeoutMs);

        if (!payload)
        {
            std::cerr << "bv-client: no reply within " << settings.timeoutMs << " ms (is the extension running?)\n";
            return kNotRunning;
        }

        BVReaper::ServerMessage reply;
        const auto outcome = BVReaper::parseServerMessage (payload->data(), payload->size(), reply)
                                 ? reply_formatter::describe (request->message, reply, request->label, settings.json)
                                 : reply_formatter::describeUnparsable (*payload, settings.json);

        std::cout << outcome.text << std::endl;

        if (outcome.failed)
            exitCode = kRequestFailed;
    }

    if (!rawPayload.empty() && rawExpectsReply)
    {
        const auto payload = pipe.receive (settings.timeoutMs);

        if (!payload)
        {
            std::cerr << "bv-client: no reply within " << settings.timeoutMs << " ms\n";
            return kNotRunning;
        }

        BVReaper::ServerMessage reply;
        const bool parsed = BVReaper::parseServerMessage (payload->data(), payload->size(), reply);
        std::cout << reply_formatter::toHex (*payload) << std::endl;

        if (!parsed)
            exitCode = kRequestFailed;
    }

    return exitCode;
}
} // namespace

int main (int argc, char** argv)
{
    Settings settings;
    CLI::App app{"Talks to the Belvanta extension inside REAPER over its named pipe."};
    app.require_subcommand (1);
    app.add_option ("--pipe", settings.pipeName, "pipe name (FIFOs /tmp/NAME_in and /tmp/NAME_out)")->capture_default_str();
    app.add_option ("--timeout", settings.timeoutMs, "milliseconds to wait for the pipe and for each reply")
        ->capture_default_str()
        ->check (CLI::Range (1, 600000));
    app.add_flag ("--json", settings.json, "print each reply as one JSON object");

    std::vector<std::string> files;
    client_requests::SpotOptions spotOptions;
    float start = 0, end = 0, rate = 0, volume = 0;
    std::string takeName;
    auto* spot = app.add_subcommand ("spot", "place audio files on the timeline at the edit cursor");
    spot->add_option ("files", files, "audio files, spotted one after the other")->required();
    auto* startOpt = spot->add_option ("--start", start, "start offset into the file, seconds");
    auto* endOpt = spot->add_option ("--end", end, "end point in the file, seconds");
    auto* rateOpt = spot->add_option ("--rate", rate, "play rate (1 = normal)");
    spot->add_flag ("--preserve-pitch", spotOptions.preservePitch, "keep the pitch when the rate changes (with --rate)");
    auto* volumeOpt = spot->add_option ("--volume", volume, "linear volume (1 = 0 dB)");
    auto* nameOpt = spot->add_option ("--name", takeName, "take name");
    spot->add_flag ("--pool-only", spotOptions.poolOnly, "mark the request as pool-only");

    app.add_subcommand ("version", "print the extension's version");
    app.add_subcommand ("project-path", "print the current project's path");
    std::string exploreFile;
    app.add_subcommand ("explore", "open a file in REAPER's Media Explorer")->add_option ("file", exploreFile)->required();
    app.add_subcommand ("selected", "print the first selected media item as JSON");
    app.add_subcommand ("info", "send an info request (the extension logs it and does not answer)");
    std::string rawHex;
    bool rawNoReply = false;
    auto* raw = app.add_subcommand ("raw", "send any payload given in hex and print the reply's bytes");
    raw->add_option ("hex", rawHex, "payload bytes in hexadecimal, e.g. \"08 03\"")->required();
    raw->add_flag ("--no-reply", rawNoReply, "do not wait for a reply");

    try
    {
        app.parse (argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        const int code = app.exit (e);
        return code == 0 ? kOk : kBadArguments;
    }

    std::vector<PendingRequest> requests;
    std::string rawPayload;
    const auto* chosen = app.get_subcommands().front();
    const auto name = chosen->get_name();

    if (name == "spot")
    {
        if (*startOpt)
            spotOptions.startOffset = start;
        if (*endOpt)
            spotOptions.endOffset = end;
        if (*rateOpt)
            spotOptions.playRate = rate;
        if (*volumeOpt)
            spotOptions.volume = volume;
        if (*nameOpt)
            spotOptions.takeName = takeName;

        for (const auto& file : files)
            requests.push_back ({client_requests::spot (file, spotOptions), file, true});
    }
    else if (name == "version")
        requests.push_back ({client_requests::simple (BVReaper::ClientMessage::VERSION_REQUEST), {}, true});
    else if (name == "project-path")
        requests.push_back ({client_requests::simple (BVReaper::ClientMessage::SESSION_REQUEST), {}, true});
    else if (name == "explore")
        requests.push_back ({client_requests::explore (exploreFile), exploreFile, true});
    else if (name == "selected")
        requests.push_back ({client_requests::simple (BVReaper::ClientMessage::SELECTED_FILE_REQUEST), {}, true});
    else if (name == "info")
        requests.push_back ({client_requests::simple (BVReaper::ClientMessage::INFO_REQUEST), {}, false});
    else if (name == "raw")
    {
        const auto bytes = client_requests::bytesFromHex (rawHex);

        if (!bytes || bytes->empty())
        {
            std::cerr << "bv-client: raw: \"" << rawHex << "\" is not a non-empty hexadecimal byte string\n";
            return kBadArguments;
        }

        rawPayload = *bytes;
    }

    const int code = run (settings, requests, rawPayload, !rawNoReply);

    if (code == kOk && name == "info" && !settings.json)
        std::cout << "sent (info requests get no reply)" << std::endl;

    return code;
}
