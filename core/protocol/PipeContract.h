#pragma once

#include <cstdint>
#include <string>

// What the extension and every peer of its pipe must agree on, written once: the packet
// magic, the pipe's name and the files in /tmp that make it up (on Windows, one named pipe). The framing is in
// PacketFramer (reading) and PacketBuilder (writing); which FIFO may be used, in FifoTrust.
namespace pipe_contract
{
// The magic number at the start of every packet, in both directions.
constexpr std::uint32_t kPacketMagic = 0xf2b49e2cu;

// The pipe the library application opens by name.
constexpr const char* kPipeName = "bv_reaper";

// The FIFO the extension reads requests from: /tmp/<name>_in.
std::string requestFifoPath (const std::string& pipeName);

// The FIFO the extension writes replies into: /tmp/<name>_out.
std::string replyFifoPath (const std::string& pipeName);

// The Windows named pipe that carries both directions: \\.\pipe\<name>.
std::string windowsPipePath (const std::string& pipeName);

// The lock file held by the one process that serves the pipe: /tmp/<name>.lock.
std::string servingLockPath (const std::string& pipeName);

// The pipe name as it appears in those paths: without the characters a file name must not
// hold ("#@,;:<>*^|?\/), cut to 128 bytes. Empty when nothing is left.
std::string legalName (const std::string& pipeName);
} // namespace pipe_contract
