#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the doctor needs to know of a Windows DLL: the machine and format it is built for,
// what it exports and which DLLs it imports. Read from the bytes, on any system.
namespace pe_file
{
constexpr std::uint16_t kMachineX86_64 = 0x8664;

struct Info
{
    std::uint16_t machine = 0;        // the COFF header's Machine
    bool pe32Plus = false;            // the optional header's magic is PE32+ (64-bit)
    std::vector<std::string> exports; // exported names, in the table's order
    std::vector<std::string> imports; // imported DLLs, in the table's order
};

// The file's facts, or nothing with why in error ("not a PE file", ...).
std::optional<Info> read (const std::string& path, std::string& error);

// Same, from bytes already in memory.
std::optional<Info> parse (const std::string& bytes, std::string& error);

// "x86-64", "x86", "arm64", or "machine 0x..." for one without a name here.
std::string machineName (std::uint16_t machine);

// True for a DLL every Windows 10 has: KERNEL32, USER32, ADVAPI32, SHELL32, OLE32, msvcrt and
// the api-ms-win-* sets (in any case). A MinGW runtime DLL (libstdc++-6.dll, ...) is not one.
bool isSystemDll (const std::string& name);
} // namespace pe_file
