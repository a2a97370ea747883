// Hands any bytes to the request dispatch, against the stand-in host's project, and checks
// what must hold whatever a request says: no reply for what does not decode or needs none,
// otherwise exactly one reply of the right type that decodes; every source the host made is
// owned by a take or freed; no host call with an unknown handle; at most one new item.
//
// Input: the first byte chooses the project the request meets (tracks, selection, time
// selection, one host refusal); the rest is the request payload.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "FunctionTable.h"
#include "HostModel.h"
#include "ProtocolParsing.h"
#include "api/ApiBinding.h"
#include "api/ReaperApi.h"
#include "api/ReaperFunctions.h"
#include "logging/Log.h"
#include "pipe/ReplyChannel.h"
#include "requests/RequestDispatcher.h"

namespace
{
// The paths a spot can open: audio of these properties with no file behind it.
const char* const kVirtualFiles[] = {"/v/a.wav", "/v/b.flac"};

// Host functions the project can be made to refuse, chosen by the setup byte.
#define BV_NAME_OF(returnType, name, parameters) #name,
const char* const kRefusals[] = {nullptr, BV_REAPER_REQUIRED_FUNCTIONS (BV_NAME_OF)};
#undef BV_NAME_OF

PCM_source* (*hostCreateFromFile) (const char*) = nullptr;

// Only the virtual files are opened: the fuzzer's paths must never reach the disk, where
// one such as /dev/stdin would block.
PCM_source* createFromVirtualFileOnly (const char* path)
{
    for (const auto* name : kVirtualFiles)
        if (path != nullptr && std::string (path) == name)
            return hostCreateFromFile (path);

    return nullptr;
}

class DiscardingLog : public LogDestination
{
    void logMessage (const std::string&) override
    {
    }
};

class CountingSender : public ReplyChannel
{
public:
    bool sendMessage (std::vector<std::uint8_t> message) override
    {
        ++count;
        last.assign (message.begin(), message.end());
        return true;
    }

    int count = 0;
    std::string last;
};

void setUpProject (reaper_host::HostModel& model, std::uint8_t setup)
{
    model.reset();

    for (const auto* path : kVirtualFiles)
        model.addVirtualAudioFile (path, 48000, 2, 48000 * 3);

    if ((setup & 1) != 0)
    {
        auto& first = model.addTrack ("One");
        model.addTrack ("Two");

        if ((setup & 2) != 0)
            model.selectTracks ({1});

        if ((setup & 4) != 0)
        {
            auto& item = model.addItem (first, 2.0, 1.5);
            auto& take = model.addTake (item, "T");
            model.setTakeSource (take, reaper_host::MediaSource::synthetic ("/v/\"odd\\name\xc3\xa9", 44100, 1, 1000));
            model.selectItem (item);
        }
    }

    if ((setup & 8) != 0)
        model.setTimeSelection (1.0, 5.0);

    model.setCursor (3.0);

    if (const auto* refusal = kRefusals[(setup >> 4) % std::size (kRefusals)])
        model.faults().fail (refusal);
}

int sourcesOwnedByTakes (reaper_host::HostModel& model)
{
    int owned = 0;

    for (auto* item : model.allItems())
        for (auto& take : item->takes)
            owned += take->source != nullptr ? 1 : 0;

    return owned;
}

BVReaper::ServerMessage::Type expectedReplyType (BVReaper::ClientMessage::Type request)
{
    switch (request)
    {
        case BVReaper::ClientMessage::VERSION_REQUEST:
            return BVReaper::ServerMessage::VERSION;
        case BVReaper::ClientMessage::SESSION_REQUEST:
        case BVReaper::ClientMessage::SELECTED_FILE_REQUEST:
            return BVReaper::ServerMessage::RESPONSE;
        default:
            return BVReaper::ServerMessage::COMMAND_RESULT;
    }
}

void check (bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Never destroyed: a log line written while static objects go at exit still finds it.
    static DiscardingLog* const discarding = new DiscardingLog();
    logging::setDestination (discarding);

    reaper_host::HostModel::current().reset();

    if (bindHostApi (&reaper_host::getFunc) != 0 || bindOptionalHostApi (&reaper_host::getFunc) != 0)
        std::abort();

    hostCreateFromFile = reaper::PCM_Source_CreateFromFile;
    reaper::PCM_Source_CreateFromFile = &createFromVirtualFileOnly;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;

    auto& model = reaper_host::HostModel::current();
    setUpProject (model, data[0]);

    const auto* payload = data + 1;
    const auto payloadSize = size - 1;
    const int itemsBefore = model.itemCount();
    const int liveBefore = reaper_host::MediaSource::liveCount();
    const int ownedBefore = sourcesOwnedByTakes (model);

    CountingSender replies;
    handleRequest (payload, payloadSize, replies);

    BVReaper::ClientMessage request;
    const bool decodes = BVReaper::parseClientMessage (payload, payloadSize, request);

    if (!decodes || request.type() == BVReaper::ClientMessage::INFO_REQUEST)
    {
        check (replies.count == 0);
    }
    else
    {
        check (replies.count == 1);

        BVReaper::ServerMessage reply;
        check (BVReaper::parseServerMessage (replies.last.data(), replies.last.size(), reply));
        check (reply.type() == expectedReplyType (request.type()));

        if (request.type() == BVReaper::ClientMessage::SELECTED_FILE_REQUEST)
            check (nlohmann::json::accept (reply.response().text()));
    }

    check (model.itemCount() - itemsBefore <= 1);
    check (model.invalidHandleCalls == 0);

    // A source the spot made is either owned by the new take or already freed.
    check (reaper_host::MediaSource::liveCount() - liveBefore == sourcesOwnedByTakes (model) - ownedBefore);

    model.reset();
    return 0;
}
