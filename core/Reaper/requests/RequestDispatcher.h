#pragma once

#include <cstddef>

#include "pipe/ReplyChannel.h"

// Decodes one request payload, carries the request out against REAPER and sends its
// reply, if it has one, through replies. Call on REAPER's main thread only; whatever the
// bytes hold, this neither throws nor crashes, and a payload that does not decode is
// logged and answered with nothing.
void handleRequest (const void* data, std::size_t size, ReplyChannel& replies);
