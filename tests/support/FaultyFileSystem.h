#pragma once

#include "platform/Platform.h"

#include <functional>
#include <vector>

namespace tarvino::test {

/// `Append` fails the opening of the file, `Write` the writing after it opened.
// clang-format off
enum class FileOp { CreateFolder, RemoveFolder, Copy, Move, Delete, DeleteMatching, Read, Append, Write, Replace,
                    Flush };
// clang-format on

/// Thrown by every operation from the abandoned one on: the run dies there, as a killed process would.
struct Abandoned {};

/// Fails chosen calls of the real file operations: tests run as root, so permissions cannot make them fail.
class FaultyFileSystem final : public platform::FileSystem {
public:
    using Outcome = platform::Outcome;

    explicit FaultyFileSystem(platform::FileSystem& real) : m_real(real) {}

    /// Fails the `occurrence`-th call of `op` whose path (either path of a copy or
    /// move) contains `pathPart`; with `occurrence` 0 every such call fails.
    void fail(FileOp op, std::string pathPart, int occurrence = 1,
              Outcome outcome = Outcome::failed(13, "Access is denied."))
    {
        m_faults.push_back({op, std::move(pathPart), occurrence, std::move(outcome)});
    }
    void clearFaults()
    {
        m_faults.clear();
        m_failChange = 0;
        m_abandoned = false;
    }
    /// Fails the `index`-th change to the disk, counted from 1 over every kind of change; with `abandon`
    /// that change and everything after it throw `Abandoned`, and a copy leaves half its file.
    void failChange(int index, bool abandon = false)
    {
        m_failChange = index;
        m_abandon = abandon;
    }
    std::optional<std::uint64_t> freeBytes;

    bool fileExists(const std::string& path) const override { return alive(), m_real.fileExists(path); }
    bool folderExists(const std::string& path) const override { return alive(), m_real.folderExists(path); }
    bool isLink(const std::string& path) const override { return alive(), m_real.isLink(path); }
    Outcome createFolder(const std::string& path) override
    {
        return change(FileOp::CreateFolder, path, {}, [&] { return m_real.createFolder(path); });
    }
    Outcome removeFolder(const std::string& path) override
    {
        return change(FileOp::RemoveFolder, path, {}, [&] { return m_real.removeFolder(path); });
    }
    Outcome copyFile(const std::string& from, const std::string& to) override
    {
        return change(FileOp::Copy, from, to, [&] { return m_real.copyFile(from, to); });
    }
    Outcome moveFile(const std::string& from, const std::string& to) override
    {
        return change(FileOp::Move, from, to, [&] { return m_real.moveFile(from, to); });
    }
    Outcome deleteFile(const std::string& path, bool force) override
    {
        return change(FileOp::Delete, path, {}, [&] { return m_real.deleteFile(path, force); });
    }
    Outcome deleteMatching(const std::string& folder, const std::string& pattern) override
    {
        return change(FileOp::DeleteMatching, folder + pattern, {},
                      [&] { return m_real.deleteMatching(folder, pattern); });
    }
    std::optional<std::uint64_t> fileSize(const std::string& path, Outcome* why) const override
    {
        return alive(), m_real.fileSize(path, why);
    }
    std::vector<std::string> listFiles(const std::string& folder) const override
    {
        return alive(), m_real.listFiles(folder);
    }
    Outcome readFile(const std::string& path, std::string& bytes) const override
    {
        const Outcome* failure = (alive(), injected(FileOp::Read, path));
        return failure ? *failure : m_real.readFile(path, bytes);
    }
    Outcome appendToFile(const std::string& path, const std::string& bytes, bool* opened) override;
    Outcome replaceFile(const std::string& from, const std::string& to) override
    {
        return change(FileOp::Replace, from, to, [&] { return m_real.replaceFile(from, to); });
    }
    Outcome flushFile(const std::string& path) override
    {
        return change(FileOp::Flush, path, {}, [&] { return m_real.flushFile(path); });
    }
    std::optional<std::uint64_t> freeSpace(const std::string& folder) const override
    {
        return alive(), freeBytes ? freeBytes : m_real.freeSpace(folder);
    }
    platform::LockAttempt lockFile(const std::string& path) override { return m_real.lockFile(path); }

private:
    struct Fault {
        FileOp op;
        std::string pathPart;
        int occurrence;
        Outcome outcome;
        int seen = 0;
    };

    const Outcome* injected(FileOp op, const std::string& path, const std::string& other = {}) const;
    Outcome change(FileOp op, const std::string& path, const std::string& other,
                   const std::function<Outcome()>& real);
    void alive() const
    {
        if (m_abandoned)
            throw Abandoned{};
    }

    platform::FileSystem& m_real;
    mutable std::vector<Fault> m_faults;
    int m_changes = 0;
    int m_failChange = 0;
    bool m_abandon = false;
    bool m_abandoned = false;
};

} // namespace tarvino::test
