#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace google::protobuf
{
class MessageLite;
}

// What follows a reply once it has been written or dropped (a failed spot's log lines), and
// the bytes it keeps until then (their text): those count with the reply against the pipe's
// bound on what it holds.
struct AfterReply
{
    std::function<void()> run;
    std::size_t heldBytes = 0;
};

// Where replies to the library application go, each as one packet: the pipe connection is
// one; tests use others. A reply's bytes are one vector from its encoding to the writer,
// moved, never copied.
class ReplyChannel
{
public:
    virtual ~ReplyChannel() = default;

    // True when the packet was taken to be written (the pipe writes it in turn, without
    // holding up the caller). [main thread]
    virtual bool sendMessage (std::vector<std::uint8_t> message) = 0;

    // The same, calling afterward once the reply has been written or dropped (the pipe calls
    // it from its writer's thread; by default it is called at once). [main thread]
    virtual bool sendMessageThen (std::vector<std::uint8_t> message, AfterReply afterward)
    {
        const bool taken = sendMessage (std::move (message));

        if (afterward.run)
            afterward.run();

        return taken;
    }
};

// The encoding of message, exactly its encoded size. Empty when the size is 0 or the message
// cannot be encoded (beyond 2 GiB). [any thread]
std::vector<std::uint8_t> serializeMessage (const google::protobuf::MessageLite& message);

// Encodes reply and hands it to replies as one packet. The send's result is not examined and
// nothing is retried: the library application pairs replies with requests by order, so a
// resend could only confuse it. A reply that encodes to nothing (which the replies built here
// cannot produce) is logged as a failed check and nothing is sent. afterward, if set, is
// called once the reply has been written or dropped (see sendMessageThen), or not sent.
// [main thread]
void sendReply (const google::protobuf::MessageLite& reply, ReplyChannel& replies, AfterReply afterward = {});
