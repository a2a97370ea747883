#pragma once

#include <iosfwd>
#include <string>

#include "PipeClient.h"

// Says plainly why the pipe could not be used, naming what is at fault, in the words of this
// system's pipe: OpenFailureFifo.cpp (Linux, macOS), OpenFailureWindows.cpp.
void reportOpenFailure (PipeOpenResult opened, const std::string& pipeName, int timeoutMs, std::ostream& err);
