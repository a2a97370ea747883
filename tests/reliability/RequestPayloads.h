#pragma once

#include <optional>
#include <string>

// Request payloads as the library application sends them, and what their replies must be.
namespace request_payloads
{
std::string version();
std::string info();
std::string session();
std::string selectedItem();
std::string openInMediaExplorer (const std::string& path);
std::string spot (const std::string& path, const std::string& takeName);

// A payload that does not decode as a request, so it is logged and never answered.
std::string undecodable();

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
} // namespace request_payloads
