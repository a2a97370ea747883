#include "DoctorPlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "ElfFile.h"
#include "HomeFolder.h"
#include "RegularFile.h"

namespace doctor_platform
{
namespace
{
namespace fs = std::filesystem;

// The loader's cache is tens of kilobytes; a file much larger is not one.
std::string readLoaderCache()
{
    const auto cache = regular_file::readTail ("/etc/ld.so.cache", 64 * 1024 * 1024);
    return cache.cut ? std::string() : cache.bytes;
}

// The library paths in the dynamic loader's cache (/etc/ld.so.cache, glibc's format:
// an optional old-format part, then "glibc-ld.so.cache1.1" with 24-byte entries whose
// name offsets count from that header). Empty when it cannot be read.
std::vector<std::pair<std::string, std::string>> loaderCache()
{
    static const std::string kMagic = "glibc-ld.so.cache1.1";
    const auto bytes = readLoaderCache();
    const auto header = bytes.find (kMagic);
    std::vector<std::pair<std::string, std::string>> entries;

    if (header == std::string::npos || bytes.size() < header + 48)
        return entries;

    const auto word = [&] (std::size_t at)
    {
        std::uint32_t value;
        std::memcpy (&value, bytes.data() + at, sizeof (value));
        return static_cast<std::size_t> (value);
    };

    const auto text = [&] (std::size_t offset) -> std::string
    {
        const auto at = header + offset;
        return at < bytes.size() ? std::string (bytes.c_str() + at) : std::string();
    };

    const auto count = word (header + 20);

    for (std::size_t i = 0; i < count && header + 48 + (i + 1) * 24 <= bytes.size(); ++i)
    {
        const auto entry = header + 48 + i * 24;
        entries.emplace_back (text (word (entry + 4)), text (word (entry + 8)));
    }

    return entries;
}

// Where the loader looks for a name, in its order: DT_RPATH (when there is no DT_RUNPATH),
// LD_LIBRARY_PATH, DT_RUNPATH, its cache, then the default folders.
std::vector<std::string> candidates (const std::string& name, const elf_file::Info& from, const std::string& fromPath)
{
    if (name.find ('/') != std::string::npos)
        return {name};

    const auto origin = fs::path (fromPath).parent_path().string();
    const auto expand = [&] (std::string folder)
    {
        for (const auto* token : {"$ORIGIN", "${ORIGIN}"})
            for (auto at = folder.find (token); at != std::string::npos; at = folder.find (token))
                folder.replace (at, std::strlen (token), origin);

        return folder + "/" + name;
    };

    std::vector<std::string> paths;

    if (!from.usesRunPath)
        for (const auto& folder : from.searchPaths)
            paths.push_back (expand (folder));

    if (const char* variable = std::getenv ("LD_LIBRARY_PATH"))
    {
        std::stringstream list (variable);

        for (std::string folder; std::getline (list, folder, ':');)
            if (!folder.empty())
                paths.push_back (folder + "/" + name);
    }

    if (from.usesRunPath)
        for (const auto& folder : from.searchPaths)
            paths.push_back (expand (folder));

    static const auto cache = loaderCache();

    for (const auto& [key, path] : cache)
        if (key == name)
            paths.push_back (path);

    for (const auto* folder : {"/lib", "/usr/lib", "/lib64", "/usr/lib64"})
        paths.push_back (std::string (folder) + "/" + name);

    return paths;
}
} // namespace

std::string defaultPluginsFolder()
{
    return home_folder::path() + "/.config/REAPER/UserPlugins";
}

std::string moduleSuffix()
{
    return ".so";
}

LibraryReport findLibraries (const std::string& modulePath)
{
    LibraryReport report;
    std::string error;
    const auto module = elf_file::read (modulePath, error);

    if (!module)
    {
        report.note = "not checked: the module " + error;
        return report;
    }

    report.checked = true;

    // Breadth first through the libraries' own needs, each name once, as the loader does.
    std::set<std::string> seen;
    std::vector<std::pair<elf_file::Info, std::string>> pending{{*module, modulePath}};

    while (!pending.empty())
    {
        const auto [from, fromPath] = pending.front();
        pending.erase (pending.begin());

        for (const auto& name : from.needed)
        {
            if (!seen.insert (name).second)
                continue;

            std::optional<elf_file::Info> library;
            std::string libraryPath;

            for (const auto& candidate : candidates (name, from, fromPath))
            {
                std::string ignored;
                auto info = elf_file::read (candidate, ignored);

                // A library of another machine or word size is passed over, as the loader does.
                if (info && info->machine == module->machine && info->is64Bit == module->is64Bit)
                {
                    library = std::move (info);
                    libraryPath = candidate;
                    break;
                }
            }

            if (!library)
            {
                report.missing.push_back (name);
                continue;
            }

            report.found.push_back (name);
            pending.emplace_back (*library, libraryPath);
        }
    }

    return report;
}

HolderScan holdersOf (const std::string& path)
{
    HolderScan scan;
    struct stat target;

    if (::lstat (path.c_str(), &target) != 0)
    {
        scan.note = "not checked: " + path + " does not exist";
        return scan;
    }

    scan.checked = true;
    std::error_code error;

    // Every descriptor of every process we may look at; other users' are not readable,
    // and could not have opened a FIFO of ours with mode 0600 anyway.
    for (auto process = fs::directory_iterator ("/proc", error); !error && process != fs::directory_iterator(); process.increment (error))
    {
        const auto pidText = process->path().filename().string();

        if (pidText.empty() || !std::all_of (pidText.begin(), pidText.end(), ::isdigit))
            continue;

        Holder holder;
        holder.pid = std::stoi (pidText);
        std::error_code fdError;

        for (auto fd = fs::directory_iterator (process->path() / "fd", fdError); !fdError && fd != fs::directory_iterator(); fd.increment (fdError))
        {
            struct stat opened;

            if (::stat (fd->path().c_str(), &opened) != 0 || opened.st_dev != target.st_dev || opened.st_ino != target.st_ino)
                continue;

            // fdinfo's "flags:" is octal; its low two bits are the access mode.
            std::ifstream info (process->path() / "fdinfo" / fd->path().filename());
            unsigned long flags = 0;

            for (std::string line; std::getline (info, line);)
                if (line.rfind ("flags:", 0) == 0)
                    flags = std::stoul (line.substr (6), nullptr, 8);

            const auto access = flags & 3;
            holder.reads = holder.reads || access == 0 || access == 2;
            holder.writes = holder.writes || access == 1 || access == 2;
        }

        if (holder.reads || holder.writes)
        {
            std::getline (std::ifstream (process->path() / "comm"), holder.name);
            scan.holders.push_back (holder);
        }
    }

    return scan;
}

int lockHolder (const std::string& path)
{
    struct stat target;

    if (::lstat (path.c_str(), &target) != 0)
        return 0;

    // "1: FLOCK  ADVISORY  WRITE 4242 fe:00:5367522 0 EOF": the holder's process id, then the
    // file as major:minor (hexadecimal) and inode. A waiter's line has "->" after the number.
    std::ifstream locks ("/proc/locks");

    for (std::string line; std::getline (locks, line);)
    {
        std::istringstream words (line);
        std::string number, kind, mode, access, file;
        int pid = 0;

        if (!(words >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK")
            continue;

        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;

        if (std::sscanf (file.c_str(), "%x:%x:%llu", &major, &minor, &inode) == 3 && major == ::major (target.st_dev)
            && minor == ::minor (target.st_dev) && inode == static_cast<unsigned long long> (target.st_ino))
            return pid;
    }

    return 0;
}
} // namespace doctor_platform
