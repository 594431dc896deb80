#pragma once

// The operating system behind one interface. Standard C++ only: the Windows
// half is compiled with mingw-w64 and its tests run under Wine, so nothing here
// may depend on Qt. Texts and paths are UTF-8; paths use the native separator.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvino::platform {

/// Result of a platform call. A failure carries the system's error number and
/// its description; `NotFound` is kept apart from every other failure because
/// the installation treats an absent source file as a new item, not an error.
struct Outcome {
    enum class Kind { Ok, NotFound, Failed };

    Kind kind = Kind::Ok;
    int code = 0;
    std::string description;

    explicit operator bool() const { return kind == Kind::Ok; }
    bool notFound() const { return kind == Kind::NotFound; }

    static Outcome ok() { return {}; }
    static Outcome absent(int code, std::string description)
    {
        return {Kind::NotFound, code, std::move(description)};
    }
    static Outcome failed(int code, std::string description)
    {
        return {Kind::Failed, code, std::move(description)};
    }
};

/// Local wall-clock time as the user's locale sees it.
struct LocalTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    double secondsSinceMidnight() const
    {
        return hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0;
    }
};

/// Time is a seam: tests replace it so that no test ever sleeps.
class Clock {
public:
    virtual ~Clock() = default;
    /// Local time of day and date.
    virtual LocalTime now() const = 0;
    /// A clock that never goes back and does not wrap at midnight; waits are measured on it.
    virtual std::chrono::milliseconds monotonic() const = 0;
    /// Gives the processor away between two rounds of a wait.
    virtual void sleep(std::chrono::milliseconds duration) = 0;
};

/// An exclusive lock on a file, held until it is destroyed. The system drops it
/// with the process that holds it, so a killed run blocks no later one.
class FileLock {
public:
    virtual ~FileLock() = default;
};

struct LockAttempt {
    std::unique_ptr<FileLock> lock; // empty when not taken
    bool busy = false;              // another holder has it, in this process or another
    Outcome outcome;
};

/// Links and junctions that someone planted in a working folder are never followed
/// when a file is written, deleted or moved: the link itself is what is replaced or
/// removed, and a link is no file.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// A plain file: a link to one does not count.
    virtual bool fileExists(const std::string& path) const = 0;
    virtual bool folderExists(const std::string& path) const = 0;
    /// Whether the path itself (a trailing separator ignored) is a symbolic link, a
    /// junction or another reparse point.
    virtual bool isLink(const std::string& path) const = 0;
    /// Creates one folder (its parent must exist).
    virtual Outcome createFolder(const std::string& path) = 0;
    /// Removes a folder with everything in it, read-only files included; a link in it,
    /// or the folder itself being a link, is removed as a link.
    virtual Outcome removeFolder(const std::string& path) = 0;
    /// Copies a plain file, overwriting the target; a link as the target is replaced
    /// by the file, a link as the source is refused. Succeeds only when the copy is on
    /// the disk and as long as its source.
    virtual Outcome copyFile(const std::string& from, const std::string& to) = 0;
    /// Renames `from` onto `to` in one step, replacing `to`; both lie in one folder.
    virtual Outcome replaceFile(const std::string& from, const std::string& to) = 0;
    /// Writes out to the disk what the system still holds of a file.
    virtual Outcome flushFile(const std::string& path) = 0;
    /// Bytes free for this user on the volume of a folder, or nothing when unknown.
    virtual std::optional<std::uint64_t> freeSpace(const std::string& folder) const = 0;
    /// Takes an exclusive lock on a file, creating it; never waits.
    virtual LockAttempt lockFile(const std::string& path) = 0;

    /// Copies `from` beside `to` and renames the copy onto `to`: `to` is then the
    /// old file or the whole new one, never a part of it.
    Outcome copyInOneStep(const std::string& from, const std::string& to)
    {
        const std::string incoming = to + ".novi";
        Outcome outcome = copyFile(from, incoming);
        if (outcome)
            outcome = replaceFile(incoming, to);
        if (!outcome)
            deleteFile(incoming, true);
        return outcome;
    }
    /// Moves a file. Fails when the target exists; reports `NotFound` only when the
    /// source file is absent from a folder that exists.
    virtual Outcome moveFile(const std::string& from, const std::string& to) = 0;
    /// Deletes one file, or a link to anything as the link; with `force` a read-only file
    /// too. An absent file is `NotFound`.
    virtual Outcome deleteFile(const std::string& path, bool force) = 0;
    /// Deletes every file of `folder` whose name matches `pattern` ("*" and "?"),
    /// read-only files included. No match is a failure.
    virtual Outcome deleteMatching(const std::string& folder, const std::string& pattern) = 0;
    /// Size of a plain file in bytes, or nothing with `why` set.
    virtual std::optional<std::uint64_t> fileSize(const std::string& path, Outcome* why = nullptr) const = 0;
    /// Names (not paths) of the files directly in a folder.
    virtual std::vector<std::string> listFiles(const std::string& folder) const = 0;
    /// Reads a whole file as bytes.
    virtual Outcome readFile(const std::string& path, std::string& bytes) const = 0;
    /// Opens a file for appending (creating it, and replacing a link by it), writes the
    /// bytes and closes it again.
    /// `opened` tells whether a failure came after the file was open.
    virtual Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened = nullptr) = 0;
};

/// A started process, as far as the logic needs to know it.
struct Started {
    Outcome outcome;
    std::int64_t processId = 0;
};

class Processes {
public:
    virtual ~Processes() = default;
    /// Starts a command line (program path or name, then arguments, with Windows'
    /// quoting rules) without a window. A bare program name is looked up on PATH.
    virtual Started startHidden(const std::string& commandLine) = 0;
    /// Waits up to `slice` for a process started here to end; true once it has ended.
    virtual bool waitFor(std::int64_t processId, std::chrono::milliseconds slice) = 0;
    /// Exit code of a process that has ended.
    virtual std::optional<int> exitCode(std::int64_t processId) const = 0;
};

/// Opaque handle of a top-level window.
using WindowHandle = std::uintptr_t;

/// The few window-manager calls the running-program guard makes.
class WindowManager {
public:
    virtual ~WindowManager() = default;
    /// First top-level window whose class equals `windowClass` (when given) and whose
    /// whole caption equals `caption` (when given), letter case ignored. 0 when none.
    virtual WindowHandle findWindow(const std::optional<std::string>& windowClass,
                                    const std::optional<std::string>& caption) = 0;
    /// Sends a message with wParam 0 and lParam pointing at a 32-bit zero.
    virtual void sendMessage(WindowHandle window, unsigned message) = 0;
    virtual bool isIconic(WindowHandle window) = 0;
    virtual void showWindow(WindowHandle window, int command) = 0;
    virtual void setForegroundWindow(WindowHandle window) = 0;
};

/// Per-user values addressed by full path ("HKCU\Software\...\Name").
class Registry {
public:
    virtual ~Registry() = default;
    virtual Outcome writeDword(const std::string& fullPath, std::uint32_t value) = 0;
    virtual std::optional<std::uint32_t> readDword(const std::string& fullPath) const = 0;
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    /// The computer name, or nothing when the system cannot tell it.
    virtual std::optional<std::string> computerName() const = 0;
    virtual std::optional<std::string> environment(const std::string& name) const = 0;
    /// Folder of the running program, without a trailing separator.
    virtual std::string programFolder() const = 0;
    /// Ends the whole program at once: no window events, no closing line.
    [[noreturn]] virtual void endProgram(int exitCode) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;
    virtual Clock& clock() = 0;
    virtual FileSystem& files() = 0;
    virtual Processes& processes() = 0;
    virtual WindowManager& windows() = 0;
    virtual Registry& registry() = 0;
    virtual SystemInfo& system() = 0;
};

/// The platform of the machine the program was built for.
std::unique_ptr<Platform> createNativePlatform();

/// Native path separator, the one folder texts end in.
char pathSeparator();

/// Where the per-user settings store of application "Tarvino" lives.
struct SettingsLocation {
    /// True: `path` is a registry key, read in the system's own settings format (on Windows
    /// the key the suite's tools have always used); false: `path` is a folder for INI files.
    bool inRegistry = false;
    std::string path;
};
SettingsLocation settingsLocation();

/// The 7-Zip program's file name, looked for in the program folder and then on the search path.
const char* sevenZipProgram();

/// Gives a program without a console of its own (a windowed program on Windows) the
/// console it was started from for its standard streams, where they are not redirected
/// already, so that an unattended run started from a prompt prints there. Elsewhere a no-op.
void attachParentConsole();

/// Whether standard input is a terminal an operator can type into.
bool stdinIsTerminal();

} // namespace tarvino::platform
