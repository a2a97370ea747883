#include "FifoPingPong.h"

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 50;

bool readExactly (int fd, std::size_t size)
{
    char buffer[4096];
    std::size_t got = 0;

    while (got < size)
    {
        const auto result = ::read (fd, buffer, std::min (sizeof (buffer), size - got));

        if (result <= 0)
            return false;

        got += static_cast<std::size_t> (result);
    }

    return true;
}

bool writeAll (int fd, const std::string& bytes)
{
    return ::write (fd, bytes.data(), bytes.size()) == static_cast<ssize_t> (bytes.size());
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

    std::thread server ([&]
                        {
                            for (int i = 0; i < total; ++i)
                                if (! readExactly (serverIn, requestPacket.size()) || ! writeAll (serverOut, replyPacket))
                                    return; });

    for (int i = 0; i < total; ++i)
    {
        const auto start = Clock::now();

        if (!writeAll (clientOut, requestPacket) || !readExactly (clientIn, replyPacket.size()))
            break;

        if (i >= kWarmUp)
            samples.push_back (std::chrono::duration<double, std::micro> (Clock::now() - start).count());
    }

    // An exchange cut short leaves the server waiting; a packet of its size releases it.
    if (static_cast<int> (samples.size()) < count)
        writeAll (clientOut, requestPacket);

    server.join();

    for (int fd : {serverIn, serverOut, clientOut, clientIn})
        ::close (fd);

    ::unlink (requests.c_str());
    ::unlink (replies.c_str());
    return samples;
}
