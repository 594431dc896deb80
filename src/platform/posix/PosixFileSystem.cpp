#include "platform/posix/PosixFileSystem.h"

#include "platform/TextRules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tarvino::platform {
namespace {

Outcome fromErrno(int error)
{
    if (error == ENOENT)
        return Outcome::absent(error, std::strerror(error));
    return Outcome::failed(error, std::strerror(error));
}

Outcome fromErrorCode(const std::error_code& ec)
{
    return fromErrno(ec.value());
}

// Folders are handed over with their trailing separator; std::filesystem wants them without.
fs::path asPath(const std::string& path)
{
    fs::path p(path);
    if (path.size() > 1 && path.back() == '/')
        p = fs::path(path.substr(0, path.size() - 1));
    return p;
}

// The entry itself, never what a link points at.
bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isSymlink(const std::string& path)
{
    struct stat st {};
    return ::lstat(asPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

Outcome refusedLink(const std::string& path)
{
    return Outcome::failed(ELOOP, path + " is a link, not a file");
}

// Writes every byte to `fd`, through interruptions.
int writeAll(int fd, const char* data, std::size_t size)
{
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

bool isReadOnly(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int fd) : m_fd(fd) {}
    ~PosixFileLock() override { ::close(m_fd); }

private:
    int m_fd;
};

} // namespace

bool PosixFileSystem::fileExists(const std::string& path) const
{
    return isRegularFile(path);
}

bool PosixFileSystem::folderExists(const std::string& path) const
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(asPath(path), ec);
}

bool PosixFileSystem::isLink(const std::string& path) const
{
    return isSymlink(path);
}

Outcome PosixFileSystem::createFolder(const std::string& path)
{
    if (::mkdir(asPath(path).c_str(), 0777) != 0)
        return Outcome::failed(errno, std::strerror(errno));
    return Outcome::ok();
}

Outcome PosixFileSystem::removeFolder(const std::string& path)
{
    std::error_code ec;
    const fs::path p = asPath(path);
    if (isSymlink(path))
        return ::unlink(p.c_str()) == 0 ? Outcome::ok() : fromErrno(errno);
    if (!fs::is_directory(p, ec))
        return Outcome::absent(ENOENT, std::strerror(ENOENT));
    fs::remove_all(p, ec);
    if (ec)
        return fromErrorCode(ec);
    return Outcome::ok();
}

Outcome PosixFileSystem::copyFile(const std::string& from, const std::string& to)
{
    if (isSymlink(from))
        return refusedLink(from);
    const int source = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (source < 0)
        return fromErrno(errno);
    struct stat st {};
    if (::fstat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(source);
        return fromErrno(ENOENT);
    }
    // A link in place of the target is replaced, not written through; one planted
    // again in between makes the open fail.
    struct stat existing {};
    if (::lstat(to.c_str(), &existing) == 0 && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
        ::close(source);
        return Outcome::failed(EINVAL, "A file cannot be copied onto itself");
    }
    if (S_ISLNK(existing.st_mode))
        ::unlink(to.c_str());
    const int target =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 07777);
    if (target < 0) {
        const int error = errno;
        ::close(source);
        return Outcome::failed(error, std::strerror(error));
    }
    char buffer[64 * 1024];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(source, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        if ((error = writeAll(target, buffer, static_cast<std::size_t>(n))) != 0)
            break;
    }
    ::fchmod(target, st.st_mode & 07777);
    if (::close(target) != 0 && error == 0)
        error = errno;
    ::close(source);
    if (error != 0)
        return Outcome::failed(error, std::strerror(error));
    if (const Outcome flushed = flushFile(to); !flushed)
        return flushed;
    // A copy cut short (a full disk) must not pass for the file.
    if (fileSize(to, nullptr) != static_cast<std::uint64_t>(st.st_size))
        return Outcome::failed(EIO, "The copy of " + from + " is not as long as the file");
    return Outcome::ok();
}

Outcome PosixFileSystem::replaceFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return fromErrno(errno);
    return Outcome::ok();
}

Outcome PosixFileSystem::flushFile(const std::string& path)
{
    // fsync needs no write access: a read-only copy is flushed too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 || error != 0)
        return Outcome::failed(error != 0 ? error : errno, std::strerror(error != 0 ? error : errno));
    return Outcome::ok();
}

std::optional<std::uint64_t> PosixFileSystem::freeSpace(const std::string& folder) const
{
    struct statvfs st {};
    if (::statvfs(asPath(folder).c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

LockAttempt PosixFileSystem::lockFile(const std::string& path)
{
    LockAttempt attempt;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        attempt.outcome = Outcome::failed(errno, std::strerror(errno));
        return attempt;
    }
    // flock, not fcntl: its lock belongs to the open file, so two operations of one
    // process keep each other out as two processes do.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        attempt.busy = error == EWOULDBLOCK;
        attempt.outcome = Outcome::failed(error, std::strerror(error));
        return attempt;
    }
    attempt.lock = std::make_unique<PosixFileLock>(fd);
    return attempt;
}

Outcome PosixFileSystem::moveFile(const std::string& from, const std::string& to)
{
    std::error_code ec;
    // A link is moved as the link: rename never follows it.
    const bool link = isSymlink(from);
    if (!link && !isRegularFile(from)) {
        // Only a missing file in an existing folder counts as absent.
        fs::path folder = fs::path(from).parent_path();
        if (folder.empty())
            folder = ".";
        if (fs::is_directory(folder, ec))
            return Outcome::absent(ENOENT, std::strerror(ENOENT));
        return Outcome::failed(ENOENT, "The folder of " + from + " does not exist");
    }
    // RENAME_NOREPLACE refuses an existing target in the same step, with no window
    // in which another program's new file could be overwritten.
    int error = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without that flag: check first, then rename.
        if (fs::exists(fs::symlink_status(to, ec)))
            return Outcome::failed(EEXIST, std::strerror(EEXIST));
        error = ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    if (error == 0)
        return Outcome::ok();
    if (error != EXDEV)
        return Outcome::failed(error, std::strerror(error));
    if (link)
        return refusedLink(from);
    fs::copy_file(from, to, fs::copy_options::none, ec);
    if (ec) {
        // A half-written copy is ours to remove; an existing target is not.
        if (ec != std::errc::file_exists)
            ::unlink(to.c_str());
        return Outcome::failed(ec.value(), ec.message());
    }
    if (::unlink(from.c_str()) != 0) {
        const int unlinkError = errno;
        ::unlink(to.c_str());
        return Outcome::failed(unlinkError, std::strerror(unlinkError));
    }
    return Outcome::ok();
}

Outcome PosixFileSystem::deleteFile(const std::string& path, bool force)
{
    if (isSymlink(path))
        return ::unlink(path.c_str()) == 0 ? Outcome::ok() : fromErrno(errno);
    if (!isRegularFile(path))
        return fromErrno(ENOENT);
    if (!force && isReadOnly(path))
        return Outcome::failed(EACCES, std::strerror(EACCES));
    if (::unlink(path.c_str()) != 0)
        return fromErrno(errno);
    return Outcome::ok();
}

Outcome PosixFileSystem::deleteMatching(const std::string& folder, const std::string& pattern)
{
    std::error_code ec;
    const fs::path dir = asPath(folder);
    if (isSymlink(folder))
        return refusedLink(folder);
    if (!fs::is_directory(dir, ec))
        return Outcome::failed(ENOENT, "The folder " + folder + " does not exist");
    bool matched = false;
    Outcome result = Outcome::ok();
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        // Windows' matching, which the patterns were written for: "*.*" takes
        // every file and "*.exe" takes "SETUP.EXE" too.
        if (!matchesWildcard(it->path().filename().string(), pattern))
            continue;
        matched = true;
        if (::unlink(it->path().c_str()) != 0 && result)
            result = Outcome::failed(errno, std::strerror(errno));
    }
    if (ec)
        return Outcome::failed(ec.value(), ec.message());
    if (!matched)
        return Outcome::absent(ENOENT, "No file matches " + pattern);
    return result;
}

std::optional<std::uint64_t> PosixFileSystem::fileSize(const std::string& path, Outcome* why) const
{
    struct stat st {};
    const int error = ::lstat(path.c_str(), &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : ENOENT;
    if (error != 0) {
        if (why)
            *why = fromErrno(error);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::vector<std::string> PosixFileSystem::listFiles(const std::string& folder) const
{
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(asPath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            names.push_back(it->path().filename().string());
    }
    return names;
}

Outcome PosixFileSystem::readFile(const std::string& path, std::string& bytes) const
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return Outcome::failed(error, std::strerror(error));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return Outcome::ok();
}

Outcome PosixFileSystem::appendToFile(const std::string& path, const std::string& bytes, bool* opened)
{
    if (opened)
        *opened = false;
    if (isSymlink(path))
        ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return Outcome::failed(errno, std::strerror(errno));
    if (opened)
        *opened = true;
    if (const int error = writeAll(fd, bytes.data(), bytes.size()); error != 0) {
        ::close(fd);
        return Outcome::failed(error, std::strerror(error));
    }
    if (::close(fd) != 0)
        return Outcome::failed(errno, std::strerror(errno));
    return Outcome::ok();
}

} // namespace tarvino::platform
