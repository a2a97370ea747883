#pragma once

#include <optional>
#include <string>

#include "reaper.pb.h"

// Builds the request messages the client sends, one per subcommand.
namespace client_requests
{
// Optional spot settings; only those given are set in the message, since the extension
// treats a present field differently from an absent one.
struct SpotOptions
{
    std::optional<float> startOffset;
    std::optional<float> endOffset;
    std::optional<float> playRate;
    std::optional<float> volume;
    std::optional<std::string> takeName;
    bool preservePitch = false;
    bool poolOnly = false;
};

BVReaper::ClientMessage spot (const std::string& file, const SpotOptions& options);
BVReaper::ClientMessage simple (BVReaper::ClientMessage::Type type);
BVReaper::ClientMessage explore (const std::string& file);

// The file as REAPER must be given it: REAPER runs in another folder, so a relative path
// is made absolute against the client's working folder, and "." and ".." are resolved in
// the name itself (./door.wav in /home/me gives /home/me/door.wav). Empty stays empty.
std::string absolutePath (const std::string& file);

// Parses hexadecimal digits (spaces and colons allowed); empty on malformed input.
std::optional<std::string> bytesFromHex (const std::string& hex);
} // namespace client_requests
