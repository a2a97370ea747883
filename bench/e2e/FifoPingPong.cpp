#include "FifoPingPong.h"

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FdTransfer.h"

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 50;

// Reads one packet, as long as the buffer, whose bytes nobody looks at.
bool readPacket (int fd, std::string& buffer)
{
    return fd_transfer::readAll (fd, buffer.data(), buffer.size()) == buffer.size();
}

bool writePacket (int fd, const std::string& bytes)
{
    std::size_t written = 0;
    return fd_transfer::writeAll (fd, bytes.data(), bytes.size(), written) == 0;
}
} // namespace

std::vector<double> FifoPingPong::measure (const std::string& pipeName, const std::string& requestPacket,
                                           const std::string& replyPacket, int count)
{
    const auto requests = "/tmp/" + pipeName + "_ping";
    const auto replies = "/tmp/" + pipeName + "_pong";
    ::unlink (requests.c_str());
    ::unlink (replies.c_str());

    std::vector<double> samples;

    if (::mkfifo (requests.c_str(), 0600) != 0 || ::mkfifo (replies.c_str(), 0600) != 0)
    {
        ::unlink (requests.c_str());
        return samples;
    }

    // Both ends opened read-write so neither open waits for the other side.
    const int serverIn = ::open (requests.c_str(), O_RDWR | O_CLOEXEC);
    const int serverOut = ::open (replies.c_str(), O_RDWR | O_CLOEXEC);
    const int clientOut = ::open (requests.c_str(), O_RDWR | O_CLOEXEC);
    const int clientIn = ::open (replies.c_str(), O_RDWR | O_CLOEXEC);
    const int total = count + kWarmUp;
    std::string requestRead (requestPacket.size(), '\0');
    std::string replyRead (replyPacket.size(), '\0');

    std::thread server ([&]
                        {
                            for (int i = 0; i < total; ++i)
                                if (! readPacket (serverIn, requestRead) || ! writePacket (serverOut, replyPacket))
                                    return; });

    for (int i = 0; i < total; ++i)
    {
        const auto start = Clock::now();

        if (!writePacket (clientOut, requestPacket) || !readPacket (clientIn, replyRead))
            break;

        if (i >= kWarmUp)
            samples.push_back (std::chrono::duration<double, std::micro> (Clock::now() - start).count());
    }

    // An exchange cut short leaves the server waiting; a packet of its size releases it.
    if (static_cast<int> (samples.size()) < count)
        writePacket (clientOut, requestPacket);

    server.join();

    for (int fd : {serverIn, serverOut, clientOut, clientIn})
        ::close (fd);

    ::unlink (requests.c_str());
    ::unlink (replies.c_str());
    return samples;
}
