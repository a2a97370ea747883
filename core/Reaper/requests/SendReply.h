#pragma once

#include "reaper.pb.h"
#include "requests/ReplySender.h"

// Serializes reply and hands it to replies as one packet. The send's result is not
// examined and nothing is retried: the library application pairs replies with requests
// by order, so a resend could only confuse it. An empty encoding (which the replies built
// here cannot produce) is logged and nothing is sent. afterward, if set, is called once the
// reply has been written or dropped (see ReplySender::sendMessageThen), or not sent.
void sendReply (const BVReaper::ServerMessage& reply, ReplySender& replies, std::function<void()> afterward = {});
