#pragma once

#include "platform/Platform.h"

namespace tarvino::platform {

/// File operations with the rules the logic expects from Windows: a move never
/// replaces its target, an absent source file is told apart from an absent
/// folder, and a read-only file is deleted only when forced.
class PosixFileSystem final : public FileSystem {
public:
    bool fileExists(const std::string& path) const override;
    bool folderExists(const std::string& path) const override;
    bool isLink(const std::string& path) const override;
    Outcome createFolder(const std::string& path) override;
    Outcome removeFolder(const std::string& path) override;
    Outcome copyFile(const std::string& from, const std::string& to) override;
    Outcome replaceFile(const std::string& from, const std::string& to) override;
    Outcome flushFile(const std::string& path) override;
    std::optional<std::uint64_t> freeSpace(const std::string& folder) const override;
    LockAttempt lockFile(const std::string& path) override;
    Outcome moveFile(const std::string& from, const std::string& to) override;
    Outcome deleteFile(const std::string& path, bool force) override;
    Outcome deleteMatching(const std::string& folder, const std::string& pattern) override;
    std::optional<std::uint64_t> fileSize(const std::string& path, Outcome* why) const override;
    std::vector<std::string> listFiles(const std::string& folder) const override;
    Outcome readFile(const std::string& path, std::string& bytes) const override;
    Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened) override;
};

} // namespace tarvino::platform
