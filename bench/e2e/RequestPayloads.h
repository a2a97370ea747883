#pragma once

#include <cstddef>
#include <string>

// Encoded requests and replies the end-to-end benchmarks send and expect.
namespace request_payloads
{
std::string versionRequest();

// A version request carrying an unused payload, padded to exactly totalSize bytes.
std::string largeVersionRequest (std::size_t totalSize);

std::string spotRequest (const std::string& audioPath);

// The extension's reply to a version request.
std::string versionReply();

// True when the payload is a version reply, or a command result without an error.
bool isVersionReply (const std::string& payload);
bool isSuccessfulCommandResult (const std::string& payload);
} // namespace request_payloads
