#pragma once

// A fresh folder per test in the system's temporary folder, removed again at
// the end; paths are UTF-8 texts with the native separator, as the logic forms them.

#include "platform/Platform.h"

#include <filesystem>
#include <random>
#include <string>

namespace tarvino::test {

class TestFolder {
public:
    explicit TestFolder(platform::FileSystem& files) : m_files(files)
    {
        std::random_device random;
        std::filesystem::path made;
        do
            made = std::filesystem::temp_directory_path() / ("tarvino-platform-" + std::to_string(random()));
        while (!std::filesystem::create_directory(made));
        const std::u8string text = made.lexically_normal().u8string();
        m_path.assign(text.begin(), text.end());
    }
    ~TestFolder() { m_files.removeFolder(m_path); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    /// The folder without a final separator.
    const std::string& path() const { return m_path; }
    /// A path inside the folder: `at("a", "b.txt")`.
    template <typename... Names> std::string at(const Names&... names) const
    {
        std::string path = m_path;
        ((path += platform::pathSeparator(), path += names), ...);
        return path;
    }

    /// Creates a file with the given bytes.
    void write(const std::string& path, const std::string& bytes) const
    {
        m_files.deleteFile(path, true);
        m_files.appendToFile(path, bytes);
    }
    std::string read(const std::string& path) const
    {
        std::string bytes;
        m_files.readFile(path, bytes);
        return bytes;
    }
    static void makeReadOnly(const std::string& path)
    {
        using std::filesystem::perms;
        std::filesystem::permissions(std::u8string(path.begin(), path.end()),
                                     perms::owner_write | perms::group_write | perms::others_write,
                                     std::filesystem::perm_options::remove);
    }

private:
    platform::FileSystem& m_files;
    std::string m_path;
};

} // namespace tarvino::test
