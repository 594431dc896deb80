#include "TestFolder.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarvino::test {
namespace {

using platform::Outcome;

// libstdc++ makes no links on Windows; the system call does.
bool plantLink(const std::filesystem::path& target, const std::filesystem::path& link, bool folder)
{
#ifdef _WIN32
    // Wine makes the link but does not show it as a reparse point: nothing to test there.
    const DWORD flags =
        (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), flags))
        return false;
    const DWORD attributes = GetFileAttributesW(link.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code ec;
    folder ? std::filesystem::create_directory_symlink(target, link, ec)
           : std::filesystem::create_symlink(target, link, ec);
    return !ec;
#endif
}

class FileSystemTest : public ::testing::Test {
protected:
    std::unique_ptr<platform::Platform> native = platform::createNativePlatform();
    platform::FileSystem& files = native->files();
    TestFolder dir{files};
};

// The backup step relies on both: a move never overwrites, and only an absent
// file (not an absent folder) counts as a new item.
TEST_F(FileSystemTest, MoveNeverReplacesAndTellsAbsentFileFromAbsentFolder)
{
    const std::string fresh = dir.at("Knjiženje.exe");
    const std::string backup = dir.at("Backup.exe");
    dir.write(fresh, "new");
    dir.write(backup, "old");

    const Outcome onto = files.moveFile(fresh, backup);
    EXPECT_FALSE(onto || onto.notFound());
    EXPECT_EQ(dir.read(backup), "old");
    EXPECT_TRUE(files.moveFile(dir.at("Nema.exe"), dir.at("Drugi.exe")).notFound());
    const Outcome noFolder = files.moveFile(dir.at("Nema", "Program.exe"), dir.at("Drugi.exe"));
    EXPECT_FALSE(noFolder || noFolder.notFound());

    files.createFolder(dir.at("UpdateBackup"));
    ASSERT_TRUE(files.moveFile(fresh, dir.at("UpdateBackup", "Knjiženje.exe")));
    EXPECT_FALSE(files.fileExists(fresh));
    EXPECT_EQ(dir.read(dir.at("UpdateBackup", "Knjiženje.exe")), "new");
}

TEST_F(FileSystemTest, ReadOnlyFileIsDeletedOnlyWhenForced)
{
    const std::string file = dir.at("Zaključano.dll");
    dir.write(file, "x");
    TestFolder::makeReadOnly(file);

    EXPECT_FALSE(files.deleteFile(file, false));
    EXPECT_TRUE(files.fileExists(file));
    EXPECT_TRUE(files.deleteFile(file, true));
    EXPECT_FALSE(files.fileExists(file));
    EXPECT_TRUE(files.deleteFile(file, true).notFound());
}

// Read-only files go too; "*.*" takes names without a dot, as on Windows.
TEST_F(FileSystemTest, WildcardDeletionAndFolderRemoval)
{
    const std::string update = dir.at("Update") + platform::pathSeparator();
    ASSERT_TRUE(files.createFolder(update));
    ASSERT_TRUE(files.createFolder(update + "Pomoć"));
    for (const char* name : {"Program.7z", "RAČUNI.7Z", "Arhiva.7zip", "Program.exe", "PROČITAJ"})
        dir.write(update + name, name);
    TestFolder::makeReadOnly(update + "RAČUNI.7Z");

    EXPECT_TRUE(files.deleteMatching(update, "*.7z"));
    auto left = files.listFiles(update);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Arhiva.7zip", "PROČITAJ", "Program.exe"}));
    EXPECT_FALSE(files.deleteMatching(update, "*.7z"));
    EXPECT_FALSE(files.deleteMatching(dir.at("Nema") + platform::pathSeparator(), "*.*"));
    EXPECT_TRUE(files.deleteMatching(update, "*.*"));
    EXPECT_TRUE(files.listFiles(update).empty());

    dir.write(update + "Pomoć" + platform::pathSeparator() + "Pomoc.chm", "h");
    TestFolder::makeReadOnly(update + "Pomoć" + platform::pathSeparator() + "Pomoc.chm");
    dir.write(update + "Program.exe", "p");
    EXPECT_TRUE(files.removeFolder(update));
    EXPECT_FALSE(files.folderExists(update));
    EXPECT_FALSE(files.removeFolder(dir.at("Update")));
}

TEST_F(FileSystemTest, CopyOverwritesAndAppendCreatesThenAppends)
{
    const std::string source = dir.at("Obračun.txt");
    const std::string target = dir.at("Računovodstvo žiro", "Stare verzije.txt");
    ASSERT_TRUE(files.createFolder(dir.at("Računovodstvo žiro")));
    dir.write(source, "short");
    dir.write(target, "a much longer old content");
    ASSERT_TRUE(files.copyFile(source, target));
    EXPECT_EQ(dir.read(target), "short");
    EXPECT_TRUE(files.copyFile(dir.at("Nema.txt"), target).notFound());
    // A read-only copy is flushed to the disk too; a copy in one step replaces its
    // target by renaming and leaves nothing beside it.
    ASSERT_TRUE(files.copyInOneStep(source, dir.at("Verzije.txt")));
    dir.write(source + "2", "newer");
    TestFolder::makeReadOnly(source + "2");
    ASSERT_TRUE(files.copyInOneStep(source + "2", dir.at("Verzije.txt")));
    EXPECT_EQ(dir.read(dir.at("Verzije.txt")), "newer");
    EXPECT_FALSE(files.fileExists(dir.at("Verzije.txt.novi")));
    EXPECT_GT(files.freeSpace(dir.path()).value_or(0), 0u);

    const std::string log = dir.at("Ažuriranje.log");
    bool opened = false;
    ASSERT_TRUE(files.appendToFile(log, "prvi\r\n", &opened));
    EXPECT_TRUE(opened);
    ASSERT_TRUE(files.appendToFile(log, "drugi\r\n", &opened));
    EXPECT_EQ(dir.read(log), "prvi\r\ndrugi\r\n");
    EXPECT_EQ(files.fileSize(log), 13u);
    EXPECT_FALSE(files.appendToFile(dir.at("Nema", "Update.log"), "x", &opened));
    EXPECT_FALSE(opened);

    Outcome why;
    EXPECT_FALSE(files.fileSize(dir.at("Nema.txt"), &why));
    EXPECT_TRUE(why.notFound());
    EXPECT_FALSE(files.fileSize(dir.path(), &why));
}

// A link planted in a working folder: every writing step replaces or removes the link
// itself and leaves what it points at as it was.
TEST_F(FileSystemTest, PlantedLinksAreNeverFollowed)
{
    namespace fs = std::filesystem;
    const auto u8 = [](const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); };
    const std::string outside = dir.at("Izvan");
    const std::string victim = dir.at("Izvan", "Sistem.dll");
    ASSERT_TRUE(files.createFolder(outside));
    dir.write(victim, "original");
    const std::string source = dir.at("Novi.exe");
    dir.write(source, "new");
    ASSERT_TRUE(files.createFolder(dir.at("Update")));

    struct Step {
        const char* what;
        std::function<Outcome(const std::string& link)> run;
        bool folderLink = false;
    };
    const Step steps[] = {
        {"copy onto", [&](const std::string& link) { return files.copyFile(source, link); }},
        {"append to", [&](const std::string& link) { return files.appendToFile(link, "journal"); }},
        {"delete", [&](const std::string& link) { return files.deleteFile(link, true); }},
        {"move away", [&](const std::string& link) { return files.moveFile(link, dir.at("Moved.exe")); }},
        {"remove folder", [&](const std::string& link) { return files.removeFolder(link); }, true},
        {"empty folder", [&](const std::string& link) { return files.deleteMatching(link, "*.*"); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::string link = dir.at("Update", "Link");
        if (!plantLink(u8(step.folderLink ? outside : victim), u8(link), step.folderLink))
            GTEST_SKIP() << "No links here";
        EXPECT_TRUE(files.isLink(link));
        EXPECT_FALSE(files.fileExists(link));
        EXPECT_FALSE(files.fileSize(link));

        step.run(link);

        EXPECT_EQ(dir.read(victim), "original");
        EXPECT_EQ(files.listFiles(outside), std::vector<std::string>{"Sistem.dll"});
        files.deleteFile(link, true);
        files.deleteFile(dir.at("Moved.exe"), true);
        files.removeFolder(link);
    }
    // A link is no source to copy from either: it would bring a foreign file in.
    plantLink(u8(victim), u8(dir.at("Update", "Link.exe")), false);
    EXPECT_FALSE(files.copyFile(dir.at("Update", "Link.exe"), dir.at("Kopija.exe")));
    EXPECT_FALSE(files.fileExists(dir.at("Kopija.exe")));
}

} // namespace
} // namespace tarvino::test
