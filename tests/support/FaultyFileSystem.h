#pragma once

#include "platform/Platform.h"

#include <vector>

namespace tarvino::test {

/// `Append` fails the opening of the file, `Write` the writing after it opened.
enum class FileOp { CreateFolder, RemoveFolder, Copy, Move, Delete, DeleteMatching, FileSize, Read, Append, Write };

/// Wraps the real file operations and fails chosen calls: tests run as root, so
/// permissions cannot make a move or a copy fail.
class FaultyFileSystem final : public platform::FileSystem {
public:
    explicit FaultyFileSystem(platform::FileSystem& real) : m_real(real) {}

    /// Fails the `occurrence`-th call of `op` whose path (either path of a copy or
    /// move) contains `pathPart`; with `occurrence` 0 every such call fails.
    void fail(FileOp op, std::string pathPart, int occurrence = 1,
              platform::Outcome outcome = platform::Outcome::failed(13, "Access is denied."));
    void clearFaults() { m_faults.clear(); }

    bool fileExists(const std::string& path) const override { return m_real.fileExists(path); }
    bool folderExists(const std::string& path) const override { return m_real.folderExists(path); }
    bool isLink(const std::string& path) const override { return m_real.isLink(path); }
    platform::Outcome createFolder(const std::string& path) override;
    platform::Outcome removeFolder(const std::string& path) override;
    platform::Outcome copyFile(const std::string& from, const std::string& to) override;
    platform::Outcome moveFile(const std::string& from, const std::string& to) override;
    platform::Outcome deleteFile(const std::string& path, bool force) override;
    platform::Outcome deleteMatching(const std::string& folder, const std::string& pattern) override;
    std::optional<std::uint64_t> fileSize(const std::string& path, platform::Outcome* why) const override;
    std::vector<std::string> listFiles(const std::string& folder) const override { return m_real.listFiles(folder); }
    platform::Outcome readFile(const std::string& path, std::string& bytes) const override;
    platform::Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened) override;

private:
    struct Fault {
        FileOp op;
        std::string pathPart;
        int occurrence;
        platform::Outcome outcome;
        int seen = 0;
    };

    const platform::Outcome* injected(FileOp op, const std::string& path, const std::string& other = {}) const;

    platform::FileSystem& m_real;
    mutable std::vector<Fault> m_faults;
};

} // namespace tarvino::test
