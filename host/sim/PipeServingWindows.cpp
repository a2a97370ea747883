// Windows: the pipe's name is its serving lock (no file is made), and the process that made
// the pipe's instances serves it. Who that is, the pipe itself says: a client's handle gives
// the server's process id (GetNamedPipeServerProcessId). The look connects for an instant
// and leaves without a byte, which the extension takes as a client that came and went,
// without a log line.

#include "PipeServing.h"

#include <windows.h>

#include "WideText.h"

namespace reaper_host
{
namespace
{
// The lock's path is /tmp/<legal pipe name>.lock (pipe_contract::servingLockPath): the pipe it
// stands for.
std::wstring pipeOfLock (const std::string& lockPath)
{
    auto name = lockPath.substr (lockPath.rfind ('/') + 1);
    return wide_text::fromUtf8 (pipe_contract::windowsPipePath (name.substr (0, name.rfind (".lock"))));
}
} // namespace

PipeServing pipeServing (const std::string& lockPath)
{
    const auto pipe = pipeOfLock (lockPath);
    HANDLE client = INVALID_HANDLE_VALUE;

    // Every instance busy (a client, or a look just before this one, has the waiting instance
    // until the server makes the next): tried again for a moment.
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        client = ::CreateFileW (pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);

        if (client != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_PIPE_BUSY)
            break;

        ::Sleep (2);
    }

    if (client == INVALID_HANDLE_VALUE)
    {
        // Absent; else there but not to be had (busy, or another user's): not this process's.
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? PipeServing{} : PipeServing{PipeServing::State::otherProcess, 0};
    }

    ULONG server = 0;
    const bool known = ::GetNamedPipeServerProcessId (client, &server) != 0;
    ::CloseHandle (client);

    if (!known)
        return {PipeServing::State::otherProcess, 0};

    return {server == ::GetCurrentProcessId() ? PipeServing::State::thisProcess : PipeServing::State::otherProcess, (long) server};
}

bool pipeServedByThisProcess (const std::string& lockPath)
{
    return pipeServing (lockPath).state == PipeServing::State::thisProcess;
}
} // namespace reaper_host
