#pragma once

#include <string>
#include <vector>

// The pipe's own floor: two plain threads passing the same request and reply packets back
// and forth over two FIFOs, with blocking reads and no pump in between.
class FifoPingPong
{
public:
    // Round-trip times in µs of `count` exchanges, after a short warm-up; empty when the
    // FIFOs could not be made.
    static std::vector<double> measure (const std::string& pipeName, const std::string& requestPacket,
                                        const std::string& replyPacket, int count);
};
