#include "PeFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "RegularFile.h"

namespace pe_file
{
namespace
{
// A DLL's headers and tables are within its first tens of megabytes; the doctor reads no more.
constexpr std::uint64_t kMostBytesRead = 256 * 1024 * 1024;

struct Bytes
{
    const std::string& data;
    bool ok = true;

    std::uint32_t word (std::size_t at, std::size_t size)
    {
        if (at + size > data.size() || at + size < at)
        {
            ok = false;
            return 0;
        }

        std::uint32_t value = 0;

        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t> (static_cast<unsigned char> (data[at + i])) << (8 * i);

        return value;
    }

    std::string text (std::size_t at)
    {
        if (at >= data.size())
        {
            ok = false;
            return {};
        }

        const auto end = data.find ('\0', at);
        return data.substr (at, (end == std::string::npos ? data.size() : end) - at);
    }
};

struct Section
{
    std::uint32_t address, size, offset;
};

// The file offset of a relative virtual address, or 0 when no section holds it.
std::size_t offsetOf (std::uint32_t rva, const std::vector<Section>& sections)
{
    for (const auto& section : sections)
        if (rva >= section.address && rva - section.address < section.size)
            return section.offset + (rva - section.address);

    return 0;
}
} // namespace

std::optional<Info> read (const std::string& path, std::string& error)
{
    const auto file = regular_file::readTail (path, kMostBytesRead);

    if (file.status != regular_file::Opened::Status::open || file.cut)
    {
        error = file.cut ? "larger than a module can be" : file.problem;
        return std::nullopt;
    }

    return parse (file.bytes, error);
}

std::optional<Info> parse (const std::string& data, std::string& error)
{
    Bytes bytes{data};

    if (data.compare (0, 2, "MZ") != 0)
    {
        error = "not a PE file";
        return std::nullopt;
    }

    const auto pe = bytes.word (0x3c, 4);

    if (!bytes.ok || data.compare (pe, 4, std::string ("PE\0\0", 4)) != 0)
    {
        error = "not a PE file (no PE signature)";
        return std::nullopt;
    }

    Info info;
    info.machine = static_cast<std::uint16_t> (bytes.word (pe + 4, 2));
    const auto sectionCount = bytes.word (pe + 6, 2);
    const auto optionalSize = bytes.word (pe + 20, 2);
    const auto optional = pe + 24;
    const auto magic = bytes.word (optional, 2);
    info.pe32Plus = magic == 0x20b;

    // The data directories follow the optional header's fixed part: export first, import second.
    const auto directories = optional + (info.pe32Plus ? 112 : 96);
    const auto directoryCount = bytes.word (directories - 4, 4);
    std::vector<Section> sections;

    for (std::uint32_t i = 0; i < sectionCount && bytes.ok; ++i)
    {
        const auto at = optional + optionalSize + i * 40;
        sections.push_back ({bytes.word (at + 12, 4), std::max (bytes.word (at + 8, 4), bytes.word (at + 16, 4)), bytes.word (at + 20, 4)});
    }

    if (!bytes.ok || (magic != 0x10b && magic != 0x20b))
    {
        error = "a damaged PE file (its headers are cut short)";
        return std::nullopt;
    }

    if (directoryCount > 0)
        if (const auto exports = offsetOf (bytes.word (directories, 4), sections))
        {
            const auto count = bytes.word (exports + 24, 4);
            const auto names = offsetOf (bytes.word (exports + 32, 4), sections);

            for (std::uint32_t i = 0; i < count && names != 0 && bytes.ok && i < 65536; ++i)
                info.exports.push_back (bytes.text (offsetOf (bytes.word (names + i * 4, 4), sections)));
        }

    if (directoryCount > 1)
        if (auto entry = offsetOf (bytes.word (directories + 8, 4), sections))
            for (; bytes.ok && bytes.word (entry + 12, 4) != 0 && info.imports.size() < 4096; entry += 20)
                info.imports.push_back (bytes.text (offsetOf (bytes.word (entry + 12, 4), sections)));

    if (!bytes.ok)
    {
        error = "a damaged PE file (a table points outside it)";
        return std::nullopt;
    }

    return info;
}

std::string machineName (std::uint16_t machine)
{
    switch (machine)
    {
        case kMachineX86_64:
            return "x86-64";
        case 0x14c:
            return "x86";
        case 0xaa64:
            return "arm64";
        default:
            break;
    }

    char text[24];
    std::snprintf (text, sizeof (text), "machine 0x%x", machine);
    return text;
}

bool isSystemDll (const std::string& name)
{
    std::string lower (name);
    std::transform (lower.begin(), lower.end(), lower.begin(), [] (unsigned char c)
                    { return static_cast<char> (std::tolower (c)); });

    for (const auto* system : {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"})
        if (lower == system)
            return true;

    return lower.rfind ("api-ms-win-", 0) == 0;
}
} // namespace pe_file
