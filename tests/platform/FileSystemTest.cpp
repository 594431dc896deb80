#include "TestFolder.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tarvino::test {
namespace {

using platform::Outcome;

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

} // namespace
} // namespace tarvino::test
