#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the doctor needs to know of a shared library file: which machine it is built for and
// which libraries it asks the dynamic loader for. Read from the bytes, so that a module
// built for another machine can be examined too.
namespace elf_file
{
struct Info
{
    bool is64Bit = false;
    bool littleEndian = true;
    std::uint16_t machine = 0;            // e_machine
    std::vector<std::string> needed;      // DT_NEEDED, in order
    std::vector<std::string> searchPaths; // DT_RUNPATH, else DT_RPATH, split at ':'
    bool usesRunPath = false;             // searchPaths came from DT_RUNPATH
};

// The file's ELF facts, or nothing with why in error ("not an ELF file (Mach-O)", ...).
std::optional<Info> read (const std::string& path, std::string& error);

// Same, from bytes already in memory.
std::optional<Info> parse (const std::string& bytes, std::string& error);

// "x86-64", "aarch64", ... or "machine 183" for one without a name here.
std::string machineName (std::uint16_t machine, bool is64Bit);

// The e_machine and class of the code this program runs as.
std::uint16_t thisMachine();
bool thisIs64Bit();
} // namespace elf_file
