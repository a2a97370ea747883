#include "PipeContract.h"

#include <cstring>

namespace pipe_contract
{
namespace
{
constexpr const char* kIllegalCharacters = "\"#@,;:<>*^|?\\/";
constexpr std::size_t kMaxNameLength = 128;

std::string inTmp (const std::string& pipeName, const char* suffix)
{
    return "/tmp/" + legalName (pipeName) + suffix;
}
} // namespace

std::string legalName (const std::string& pipeName)
{
    std::string name;

    for (const char c : pipeName)
        if (c != 0 && std::strchr (kIllegalCharacters, c) == nullptr)
            name.push_back (c);

    if (name.size() <= kMaxNameLength)
        return name;

    // A long name keeps a short extension ("name.ext"), as file names usually do.
    const auto lastDot = name.rfind ('.');

    if (lastDot != std::string::npos && lastDot > 0 && lastDot > name.size() - 12)
        return name.substr (0, kMaxNameLength - (name.size() - lastDot)) + name.substr (lastDot);

    return name.substr (0, kMaxNameLength);
}

std::string requestFifoPath (const std::string& pipeName)
{
    return inTmp (pipeName, "_in");
}

std::string replyFifoPath (const std::string& pipeName)
{
    return inTmp (pipeName, "_out");
}

std::string windowsPipePath (const std::string& pipeName)
{
    return "\\\\.\\pipe\\" + legalName (pipeName);
}

std::string servingLockPath (const std::string& pipeName)
{
    return inTmp (pipeName, ".lock");
}
} // namespace pipe_contract
