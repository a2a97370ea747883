#include "ElfFile.h"

#include <sstream>

#include "RegularFile.h"

namespace elf_file
{
namespace
{
constexpr std::uint16_t kX86 = 3, kArm = 40, kX86_64 = 62, kAArch64 = 183, kRiscV = 243, kPowerPC64 = 21;
constexpr std::uint32_t kPtLoad = 1, kPtDynamic = 2;
constexpr std::uint64_t kDtNull = 0, kDtNeeded = 1, kDtStrTab = 5, kDtRPath = 15, kDtRunPath = 29;

// Where the bytes come from: a string in memory, or a file read piece by piece (a library
// may be many megabytes, of which a few hundred bytes matter here).
class Source
{
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    virtual std::string bytes (std::uint64_t offset, std::uint64_t count) = 0;
};

class StringSource : public Source
{
public:
    explicit StringSource (const std::string& data)
        : text (data)
    {
    }

    std::uint64_t size() const override
    {
        return text.size();
    }

    std::string bytes (std::uint64_t offset, std::uint64_t count) override
    {
        return offset < text.size() ? text.substr (offset, count) : std::string();
    }

private:
    const std::string& text;
};

class FileSource : public Source
{
public:
    explicit FileSource (const std::string& path)
        : file (regular_file::open (path))
    {
    }

    const regular_file::Opened& opened() const
    {
        return file;
    }

    std::uint64_t size() const override
    {
        return file.size;
    }

    std::string bytes (std::uint64_t offset, std::uint64_t count) override
    {
        return regular_file::readAt (file, offset, count);
    }

private:
    regular_file::Opened file;
};

// Bounds-checked reads of little- or big-endian integers and of NUL-ended strings.
class Reader
{
public:
    Reader (Source& from, bool little)
        : source (from)
        , littleEndian (little)
    {
    }

    bool has (std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= source.size() && size <= source.size() - offset;
    }

    std::uint64_t get (std::uint64_t offset, int size) const
    {
        const auto data = source.bytes (offset, static_cast<std::uint64_t> (size));
        std::uint64_t value = 0;

        for (int i = 0; i < size && static_cast<std::size_t> (i) < data.size(); ++i)
        {
            const auto byte = static_cast<unsigned char> (data[static_cast<std::size_t> (littleEndian ? i : size - 1 - i)]);
            value |= static_cast<std::uint64_t> (byte) << (8 * i);
        }

        return value;
    }

    // Names and search paths are short; one longer than this is cut.
    std::string string (std::uint64_t offset) const
    {
        const auto data = source.bytes (offset, 4096);
        return data.substr (0, data.find ('\0'));
    }

private:
    Source& source;
    bool littleEndian;
};

struct Segment
{
    std::uint64_t offset, address, size;
};

std::vector<std::string> splitPaths (const std::string& text)
{
    std::vector<std::string> paths;
    std::stringstream stream (text);

    for (std::string path; std::getline (stream, path, ':');)
        if (!path.empty())
            paths.push_back (path);

    return paths;
}
} // namespace

namespace
{
std::optional<Info> parseSource (Source& source, std::string& error)
{
    const auto bytes = source.bytes (0, 64);

    if (bytes.size() >= 4 && (bytes.compare (0, 4, "\xcf\xfa\xed\xfe") == 0 || bytes.compare (0, 4, "\xca\xfe\xba\xbe") == 0))
    {
        error = "not an ELF file (Mach-O)";
        return std::nullopt;
    }

    if (bytes.size() < 64 || source.size() < 64 || bytes.compare (0, 4, "\x7f"
                                                                        "ELF")
                                                       != 0)
    {
        error = "not an ELF file";
        return std::nullopt;
    }

    Info info;
    info.is64Bit = bytes[4] == 2;
    info.littleEndian = bytes[5] == 1;
    const Reader in (source, info.littleEndian);
    const int word = info.is64Bit ? 8 : 4;

    info.machine = static_cast<std::uint16_t> (in.get (18, 2));
    const auto programHeaders = in.get (info.is64Bit ? 32 : 28, word);
    const auto entrySize = in.get (info.is64Bit ? 54 : 42, 2);
    const auto entryCount = in.get (info.is64Bit ? 56 : 44, 2);

    std::vector<Segment> loads;
    std::optional<Segment> dynamic;

    for (std::uint64_t i = 0; i < entryCount; ++i)
    {
        const auto at = programHeaders + i * entrySize;

        if (!in.has (at, info.is64Bit ? 56 : 32))
        {
            error = "a damaged ELF file (program headers)";
            return std::nullopt;
        }

        const auto type = in.get (at, 4);
        const Segment segment = info.is64Bit ? Segment{in.get (at + 8, 8), in.get (at + 16, 8), in.get (at + 32, 8)}
                                             : Segment{in.get (at + 4, 4), in.get (at + 8, 4), in.get (at + 16, 4)};

        if (type == kPtLoad)
            loads.push_back (segment);
        else if (type == kPtDynamic)
            dynamic = segment;
    }

    if (!dynamic)
        return info; // statically linked: needs nothing

    // The string table is named by its address once loaded; find where it lies in the file.
    std::uint64_t stringTable = 0;
    std::vector<std::uint64_t> neededOffsets, rpathOffsets, runpathOffsets;

    for (std::uint64_t at = dynamic->offset; in.has (at, 2 * static_cast<std::uint64_t> (word)) && at < dynamic->offset + dynamic->size; at += 2 * static_cast<std::uint64_t> (word))
    {
        const auto tag = in.get (at, word);
        const auto value = in.get (at + static_cast<std::uint64_t> (word), word);

        if (tag == kDtNull)
            break;
        if (tag == kDtNeeded)
            neededOffsets.push_back (value);
        else if (tag == kDtStrTab)
            stringTable = value;
        else if (tag == kDtRPath)
            rpathOffsets.push_back (value);
        else if (tag == kDtRunPath)
            runpathOffsets.push_back (value);
    }

    std::optional<std::uint64_t> tableOffset;

    for (const auto& load : loads)
        if (stringTable >= load.address && stringTable < load.address + load.size)
            tableOffset = stringTable - load.address + load.offset;

    if (!tableOffset)
    {
        error = "a damaged ELF file (no string table for its dynamic section)";
        return std::nullopt;
    }

    for (const auto offset : neededOffsets)
        info.needed.push_back (in.string (*tableOffset + offset));

    info.usesRunPath = !runpathOffsets.empty();

    for (const auto offset : info.usesRunPath ? runpathOffsets : rpathOffsets)
        for (auto& path : splitPaths (in.string (*tableOffset + offset)))
            info.searchPaths.push_back (std::move (path));

    return info;
}

} // namespace

std::optional<Info> parse (const std::string& bytes, std::string& error)
{
    StringSource source (bytes);
    return parseSource (source, error);
}

std::optional<Info> read (const std::string& path, std::string& error)
{
    FileSource source (path);

    if (!source.opened().isOpen())
    {
        error = source.opened().status == regular_file::Opened::Status::notRegular ? source.opened().problem : "cannot be read";
        return std::nullopt;
    }

    return parseSource (source, error);
}

std::string machineName (std::uint16_t machine, bool is64Bit)
{
    switch (machine)
    {
        case kX86:
            return "x86 (32-bit)";
        case kX86_64:
            return is64Bit ? "x86-64" : "x32";
        case kArm:
            return "ARM (32-bit)";
        case kAArch64:
            return "aarch64";
        case kRiscV:
            return is64Bit ? "riscv64" : "riscv32";
        case kPowerPC64:
            return "ppc64";
        default:
            return "machine " + std::to_string (machine);
    }
}

std::uint16_t thisMachine()
{
#if defined(__x86_64__) || defined(_M_X64)
    return kX86_64;
#elif defined(__aarch64__)
    return kAArch64;
#elif defined(__arm__)
    return kArm;
#elif defined(__i386__)
    return kX86;
#elif defined(__riscv)
    return kRiscV;
#elif defined(__powerpc64__)
    return kPowerPC64;
#else
    return 0;
#endif
}

bool thisIs64Bit()
{
    return sizeof (void*) == 8;
}
} // namespace elf_file
