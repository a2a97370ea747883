// Windows: the log file through a handle, every name in wide characters (a user folder with
// letters outside ASCII works), opened without following a reparse point (a symbolic link or
// a junction), and used only when its owner, and its folder's, is this user. The file is
// opened with every sharing mode, so the user can read, remove or rename it while REAPER
// runs, as on the other systems; a removed or renamed file is made again by the next write.

#include "logging/LogFile.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <aclapi.h>
#include <windows.h>

#include "WideText.h"

namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handleOf (std::intptr_t handle)
{
    return reinterpret_cast<HANDLE> (handle);
}

std::wstring wide (const std::string& path)
{
    return wide_text::fromUtf8 (path);
}

std::string folderOf (const std::string& filePath)
{
    const auto slash = filePath.find_last_of ("/\\");
    return slash == std::string::npos ? std::string (".") : filePath.substr (0, slash);
}

struct Handle
{
    HANDLE value = INVALID_HANDLE_VALUE;

    ~Handle()
    {
        if (value != INVALID_HANDLE_VALUE)
            ::CloseHandle (value);
    }

    HANDLE release()
    {
        return std::exchange (value, INVALID_HANDLE_VALUE);
    }
};

// The reparse point itself when there is one at the name, never what it points to.
HANDLE openNoFollow (const std::string& path, DWORD access, DWORD disposition)
{
    return ::CreateFileW (wide (path).c_str(), access, kShareAll, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Of the handle, and a reparse point seen at the name too: Windows opens the reparse point
// itself, Wine (whose reparse points are Unix symbolic links) what it leads to.
bool informationOf (HANDLE handle, BY_HANDLE_FILE_INFORMATION& information, const std::string& path = {})
{
    if (::GetFileInformationByHandle (handle, &information) == 0)
        return false;

    const auto atName = path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW (wide (path).c_str());

    if (atName != INVALID_FILE_ATTRIBUTES)
        information.dwFileAttributes |= atName & FILE_ATTRIBUTE_REPARSE_POINT;

    return true;
}

LogFile::Identity identityOf (const BY_HANDLE_FILE_INFORMATION& information)
{
    return {information.dwVolumeSerialNumber, (static_cast<std::uint64_t> (information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

std::int64_t sizeOf (const BY_HANDLE_FILE_INFORMATION& information)
{
    return static_cast<std::int64_t> ((static_cast<std::uint64_t> (information.nFileSizeHigh) << 32) | information.nFileSizeLow);
}

// The token's user, and the owner it gives what it makes (the Administrators group for an
// elevated administrator): either may own this user's files.
bool ownedByThisUser (HANDLE handle)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    if (::GetSecurityInfo (handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;

    const std::unique_ptr<void, HLOCAL (WINAPI*) (HLOCAL)> freed (descriptor, &::LocalFree);
    HANDLE token = nullptr;

    if (::OpenProcessToken (::GetCurrentProcess(), TOKEN_QUERY, &token) == 0)
        return false;

    const auto tokenSid = [token] (TOKEN_INFORMATION_CLASS kind, std::string& buffer) -> PSID
    {
        DWORD needed = 0;
        ::GetTokenInformation (token, kind, nullptr, 0, &needed);
        buffer.assign (needed, '\0');

        if (needed == 0 || ::GetTokenInformation (token, kind, buffer.data(), needed, &needed) == 0)
            return nullptr;

        return kind == TokenUser ? reinterpret_cast<TOKEN_USER*> (buffer.data())->User.Sid
                                 : reinterpret_cast<TOKEN_OWNER*> (buffer.data())->Owner;
    };

    std::string userBuffer, ownerBuffer;
    const auto user = tokenSid (TokenUser, userBuffer);
    const auto defaultOwner = tokenSid (TokenOwner, ownerBuffer);
    ::CloseHandle (token);

    return (user != nullptr && ::EqualSid (owner, user) != 0) || (defaultOwner != nullptr && ::EqualSid (owner, defaultOwner) != 0);
}

void makeFolderOf (const std::string& filePath)
{
    // Each missing folder on the way, outermost first, with the rights of the folder it is
    // made in: under the user's profile, the user's own.
    const auto last = filePath.find_last_of ("/\\");

    for (auto separator = filePath.find_first_of ("/\\", 3); separator != std::string::npos && separator <= last;
         separator = filePath.find_first_of ("/\\", separator + 1))
        ::CreateDirectoryW (wide (filePath.substr (0, separator)).c_str(), nullptr);
}

LogFile::Open checkFolder (const std::string& filePath, std::string& refusal)
{
    const auto folderPath = folderOf (filePath);
    Handle folder{openNoFollow (folderPath, FILE_READ_ATTRIBUTES | READ_CONTROL, OPEN_EXISTING)};

    if (folder.value == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        makeFolderOf (filePath);
        folder.value = openNoFollow (folderPath, FILE_READ_ATTRIBUTES | READ_CONTROL, OPEN_EXISTING);
    }

    BY_HANDLE_FILE_INFORMATION information;

    // Anything else in the way (a folder on the way missing) may go: tried again.
    if (folder.value == INVALID_HANDLE_VALUE || !informationOf (folder.value, information, folderPath))
        return LogFile::Open::unwritable;

    // A link or a junction could lead the log anywhere: refused, as a symbolic link is on the
    // other systems.
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        refusal = folderPath + " is a reparse point (a link or a junction)";
        return LogFile::Open::refused;
    }

    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return LogFile::Open::unwritable;

    // Another user's folder is never used: its owner could swap the log for a link to a file
    // of their choosing, or read what was spotted.
    if (!ownedByThisUser (folder.value))
    {
        refusal = folderPath + " is owned by another user";
        return LogFile::Open::refused;
    }

    return LogFile::Open::opened;
}
} // namespace

LogFile::~LogFile()
{
    close();
}

LogFile::LogFile (LogFile&& other) noexcept
    : handle (std::exchange (other.handle, -1))
    , openedIdentity (other.openedIdentity)
{
}

LogFile& LogFile::operator= (LogFile&& other) noexcept
{
    if (this != &other)
    {
        close();
        handle = std::exchange (other.handle, -1);
        openedIdentity = other.openedIdentity;
    }

    return *this;
}

LogFile::Open LogFile::open (const std::string& at, bool& created, std::string& refusal, std::string&)
{
    close();
    created = false;

    const auto folderOutcome = checkFolder (at, refusal);

    if (folderOutcome != Open::opened)
        return folderOutcome;

    // Read as well as written, so the file's tail can be read back when it is trimmed.
    constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | READ_CONTROL;
    Handle opened{openNoFollow (at, kAccess, OPEN_EXISTING)};

    if (opened.value == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        opened.value = openNoFollow (at, kAccess, CREATE_NEW);
        created = opened.value != INVALID_HANDLE_VALUE;

        if (opened.value == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_EXISTS)
            opened.value = openNoFollow (at, kAccess, OPEN_EXISTING);
    }

    BY_HANDLE_FILE_INFORMATION information;

    // A read-only file or folder, a file being removed, a full disk: tried again later.
    if (opened.value == INVALID_HANDLE_VALUE || !informationOf (opened.value, information, at))
        return Open::unwritable;

    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        refusal = at + " is a reparse point (a link or a junction)";
    else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        refusal = at + " is a directory";
    else if (::GetFileType (opened.value) != FILE_TYPE_DISK)
        refusal = at + " exists and is not a regular file";
    else if (!ownedByThisUser (opened.value))
        refusal = at + " is owned by another user";
    else if (information.nNumberOfLinks != 1)
        refusal = at + " has other names";

    if (!refusal.empty())
        return Open::refused;

    handle = reinterpret_cast<std::intptr_t> (opened.release());
    openedIdentity = identityOf (information);
    return Open::opened;
}

bool LogFile::isOpen() const
{
    return handle != -1;
}

void LogFile::close()
{
    if (isOpen())
        ::CloseHandle (handleOf (handle));

    handle = -1;
}

std::int64_t LogFile::size() const
{
    BY_HANDLE_FILE_INFORMATION information;
    return isOpen() && informationOf (handleOf (handle), information) ? sizeOf (information) : -1;
}

bool LogFile::stillAt (const std::string& path, std::int64_t& size) const
{
    // One open of the name per write: the file there must still be the one written to. A
    // file removed while open is "delete pending" and cannot be opened: not this one either.
    Handle atPath{openNoFollow (path, FILE_READ_ATTRIBUTES, OPEN_EXISTING)};
    BY_HANDLE_FILE_INFORMATION information;

    if (!isOpen() || atPath.value == INVALID_HANDLE_VALUE || !informationOf (atPath.value, information)
        || identityOf (information) != openedIdentity)
        return false;

    size = sizeOf (information);
    return true;
}

bool LogFile::readAt (std::int64_t offset, char* data, std::size_t count) const
{
    std::size_t done = 0;

    while (done < count)
    {
        OVERLAPPED at{};
        const auto position = static_cast<std::uint64_t> (offset) + done;
        at.Offset = static_cast<DWORD> (position);
        at.OffsetHigh = static_cast<DWORD> (position >> 32);
        DWORD got = 0;
        const auto piece = static_cast<DWORD> (std::min<std::size_t> (count - done, 1u << 20));

        if (::ReadFile (handleOf (handle), data + done, piece, &got, &at) == 0 || got == 0)
            return false;

        done += got;
    }

    return true;
}

bool LogFile::truncate()
{
    LARGE_INTEGER start{};
    return ::SetFilePointerEx (handleOf (handle), start, nullptr, FILE_BEGIN) != 0 && ::SetEndOfFile (handleOf (handle)) != 0;
}

bool LogFile::append (const char* data, std::size_t count, std::size_t& written)
{
    written = 0;

    while (written < count)
    {
        // An offset of all ones writes at the file's end, wherever another writer left it.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        DWORD took = 0;
        const auto piece = static_cast<DWORD> (std::min<std::size_t> (count - written, 1u << 20));

        if (::WriteFile (handleOf (handle), data + written, piece, &took, &atEnd) == 0 || took == 0)
            return false;

        written += took;
    }

    return true;
}
