#include "platform/TextRules.h"
#include "platform/windows/WindowsFileSystem.h"
#include "platform/windows/WindowsText.h"

#include <algorithm>
#include <windows.h>

namespace tarvino::platform {

using win::fromError;
using win::lastError;
using win::narrow;
using win::widen;

namespace {

constexpr DWORD kInvalid = INVALID_FILE_ATTRIBUTES;

std::wstring withoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') && path[path.size() - 2] != L':')
        path.pop_back();
    return path;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/')
        return folder + name;
    return folder + L'\\' + name;
}

bool isReparsePoint(DWORD attributes)
{
    return attributes != kInvalid && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The attributes of the entry itself, as its folder lists it: a link that points
// nowhere still shows as a link.
DWORD ownAttributes(const std::wstring& path)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW(withoutTrailingSeparator(path).c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return GetFileAttributesW(path.c_str());
    FindClose(find);
    return entry.dwFileAttributes;
}

// Removes a link or junction itself, never what it points at.
bool removeLink(const std::wstring& path, DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                   : DeleteFileW(path.c_str());
}

Outcome refusedLink()
{
    return Outcome::failed(ERROR_CANT_ACCESS_FILE, "The file is a link");
}

bool isDots(const wchar_t* name)
{
    return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// Deletes one file, unlocking it first when it is read-only.
Outcome deleteUnlocked(const std::wstring& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(path.c_str()))
        return Outcome::ok();
    const Outcome failure = lastError();
    // A file that stays must stay as it was.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes);
    return failure;
}

Outcome removeTree(const std::wstring& folder)
{
    Outcome result = Outcome::ok();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(joined(folder, L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (isDots(entry.cFileName))
                continue;
            const std::wstring path = joined(folder, entry.cFileName);
            Outcome step = Outcome::ok();
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A junction or link is removed, never followed into what it points at.
                if (!removeLink(path, entry.dwFileAttributes))
                    step = lastError();
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                step = removeTree(path);
            } else {
                step = deleteUnlocked(path, entry.dwFileAttributes);
            }
            if (!step && result)
                result = step;
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    if (!result)
        return result;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != kInvalid && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!RemoveDirectoryW(folder.c_str()))
        return lastError();
    return Outcome::ok();
}

class WindowsFileLock final : public FileLock {
public:
    explicit WindowsFileLock(HANDLE file) : m_file(file) {}
    ~WindowsFileLock() override { CloseHandle(m_file); }

private:
    HANDLE m_file;
};

std::optional<std::uint64_t> sizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

bool WindowsFileSystem::fileExists(const std::string& path) const
{
    const DWORD attributes = ownAttributes(widen(path));
    return attributes != kInvalid &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool WindowsFileSystem::isLink(const std::string& path) const
{
    return isReparsePoint(ownAttributes(widen(path)));
}

bool WindowsFileSystem::folderExists(const std::string& path) const
{
    if (path.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != kInvalid && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Outcome WindowsFileSystem::createFolder(const std::string& path)
{
    if (!CreateDirectoryW(withoutTrailingSeparator(widen(path)).c_str(), nullptr))
        return win::lastFailure();
    return Outcome::ok();
}

Outcome WindowsFileSystem::removeFolder(const std::string& path)
{
    const std::wstring folder = withoutTrailingSeparator(widen(path));
    const DWORD attributes = ownAttributes(folder);
    if (attributes == kInvalid || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Outcome::absent(ERROR_PATH_NOT_FOUND, win::describe(ERROR_PATH_NOT_FOUND));
    if (isReparsePoint(attributes))
        return RemoveDirectoryW(folder.c_str()) ? Outcome::ok() : lastError();
    return removeTree(folder);
}

Outcome WindowsFileSystem::copyFile(const std::string& from, const std::string& to)
{
    const std::wstring source = widen(from);
    if (isReparsePoint(ownAttributes(source)))
        return refusedLink();
    // CopyFileW writes through a link in place of the target: the link goes first.
    const std::wstring target = widen(to);
    const DWORD existing = ownAttributes(target);
    if (isReparsePoint(existing) && !removeLink(target, existing))
        return lastError();
    if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
        return lastError();
    if (const Outcome flushed = flushFile(to); !flushed)
        return flushed;
    // A copy cut short (a full disk) must not pass for the file.
    const std::optional<std::uint64_t> original = sizeOf(source);
    if (!original || original != sizeOf(target))
        return Outcome::failed(ERROR_WRITE_FAULT, "The copy of " + from + " is not as long as the file");
    return Outcome::ok();
}

Outcome WindowsFileSystem::replaceFile(const std::string& from, const std::string& to)
{
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastError();
    return Outcome::ok();
}

Outcome WindowsFileSystem::flushFile(const std::string& path)
{
    const std::wstring file = widen(path);
    // Flushing needs write access: a read-only file is unlocked for it and locked again.
    const DWORD attributes = GetFileAttributesW(file.c_str());
    const bool readOnly = attributes != kInvalid && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        SetFileAttributesW(file.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Outcome result = Outcome::ok();
    if (handle == INVALID_HANDLE_VALUE) {
        result = lastError();
    } else {
        if (!FlushFileBuffers(handle))
            result = win::lastFailure();
        CloseHandle(handle);
    }
    if (readOnly)
        SetFileAttributesW(file.c_str(), attributes);
    return result;
}

std::optional<std::uint64_t> WindowsFileSystem::freeSpace(const std::string& folder) const
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(widen(folder).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

LockAttempt WindowsFileSystem::lockFile(const std::string& path)
{
    LockAttempt attempt;
    // No sharing: a second open, from this process or another, is refused until
    // the handle closes, which the system does for a killed process too.
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        attempt.busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        attempt.outcome = Outcome::failed(static_cast<int>(error), win::describe(error));
        return attempt;
    }
    attempt.lock = std::make_unique<WindowsFileLock>(file);
    return attempt;
}

Outcome WindowsFileSystem::moveFile(const std::string& from, const std::string& to)
{
    // No MOVEFILE_REPLACE_EXISTING: an existing target is a failure, as the backup relies on.
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_COPY_ALLOWED))
        return lastError();
    return Outcome::ok();
}

Outcome WindowsFileSystem::deleteFile(const std::string& path, bool force)
{
    const std::wstring file = widen(path);
    const DWORD attributes = ownAttributes(file);
    if (attributes == kInvalid)
        return lastError();
    if (isReparsePoint(attributes))
        return removeLink(file, attributes) ? Outcome::ok() : lastError();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return fromError(ERROR_FILE_NOT_FOUND);
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !force)
        return fromError(ERROR_ACCESS_DENIED);
    return deleteUnlocked(file, attributes);
}

Outcome WindowsFileSystem::deleteMatching(const std::string& folder, const std::string& pattern)
{
    const std::wstring dir = widen(folder);
    if (isReparsePoint(ownAttributes(dir)))
        return refusedLink();
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(joined(dir, widen(pattern)).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return lastError();
    bool matched = false;
    Outcome result = Outcome::ok();
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        // FindFirstFileW also matches the short 8.3 names: "*.7z" would take "a.7zip" along.
        if (!matchesWildcard(narrow(entry.cFileName), pattern))
            continue;
        matched = true;
        const Outcome step = deleteUnlocked(joined(dir, entry.cFileName), entry.dwFileAttributes);
        if (!step && result)
            result = step;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    if (!matched)
        return fromError(ERROR_FILE_NOT_FOUND);
    return result;
}

std::optional<std::uint64_t> WindowsFileSystem::fileSize(const std::string& path, Outcome* why) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
        if (why)
            *why = lastError();
        return std::nullopt;
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (why)
            *why = fromError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::string> WindowsFileSystem::listFiles(const std::string& folder) const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(joined(widen(folder), L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(narrow(entry.cFileName));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

Outcome WindowsFileSystem::readFile(const std::string& path, std::string& bytes) const
{
    bytes.clear();
    HANDLE file =
        CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastError();
    char buffer[64 * 1024];
    Outcome result = Outcome::ok();
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            result = lastError();
            break;
        }
        if (read == 0)
            break;
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return result;
}

Outcome WindowsFileSystem::appendToFile(const std::string& path, const std::string& bytes, bool* opened)
{
    if (opened)
        *opened = false;
    const std::wstring name = widen(path);
    const DWORD existing = ownAttributes(name);
    if (isReparsePoint(existing))
        removeLink(name, existing);
    // Opening the reparse point itself: one planted again in between is not followed.
    HANDLE file = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return win::lastFailure();
    if (opened)
        *opened = true;
    Outcome result = Outcome::ok();
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &done, nullptr)) {
            result = win::lastFailure();
            break;
        }
        written += done;
    }
    if (!CloseHandle(file) && result)
        result = win::lastFailure();
    return result;
}

} // namespace tarvino::platform
