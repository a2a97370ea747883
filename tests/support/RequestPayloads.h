#pragma once

#include <cstddef>
#include <string>

// Request payloads as the library application sends them, and what their replies must be:
// for the tests and the benchmarks alike.
namespace request_payloads
{
std::string version();
std::string info();
std::string session();
std::string selectedItem();
std::string openInMediaExplorer (const std::string& path);
std::string spot (const std::string& path, const std::string& takeName);

// A spot that also sets the take's start offset and volume.
std::string spot (const std::string& path, const std::string& takeName, float startOffset, float volume);

// The request with an unused field padded so that it is totalSize bytes long (a little
// longer where the field's own bytes do not fit); unchanged when it is that long already.
std::string paddedTo (const std::string& request, std::size_t totalSize);

// A payload that does not decode as a request, so it is logged and never answered.
std::string undecodable();

// The extension's reply to a version request.
std::string versionReply();

// What the reply to a request must decode to, for comparing with what arrived.
struct ExpectedReply
{
    enum class Kind
    {
        version,       // VERSION with the extension's version string
        responseText,  // RESPONSE whose text is `text`
        commandResult, // COMMAND_RESULT without an error
    };

    Kind kind = Kind::version;
    std::string text;
};

// Empty when reply is what was expected, else what is wrong with it.
std::string mismatch (const std::string& replyPayload, const ExpectedReply& expected);

// The version reply; a command result without an error.
bool isVersionReply (const std::string& replyPayload);
bool isSuccessfulCommandResult (const std::string& replyPayload);
} // namespace request_payloads
