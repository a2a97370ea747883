#pragma once

// What bv-client's exit status tells a script.
enum ExitCode
{
    kExitOk = 0,            // every request was answered as asked
    kExitRequestFailed = 1, // the extension reported a failure, or a reply made no sense
    kExitBadArguments = 2,  // the command line was wrong; nothing was sent
    kExitNotRunning = 3     // no extension on the pipe, or no reply in time
};
