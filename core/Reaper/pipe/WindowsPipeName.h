#pragma once

#include <windows.h>

#include <string>

#include "PipeContract.h"
#include "WideText.h"

// The pipe's name on Windows, for the transport and its serving rule.
namespace windows_pipe_name
{
// \\.\pipe\<legal name>, as the system's wide-character calls take it.
inline std::wstring path (const std::string& pipeName)
{
    return wide_text::fromUtf8 (pipe_contract::windowsPipePath (pipeName));
}

// True while some process has an instance of the pipe. Looks without connecting:
// WaitNamedPipe takes no instance, so a server that is there loses no client to the look.
inline bool inUse (const std::wstring& pipePath)
{
    return ::WaitNamedPipeW (pipePath.c_str(), 1) || ::GetLastError() != ERROR_FILE_NOT_FOUND;
}
} // namespace windows_pipe_name
