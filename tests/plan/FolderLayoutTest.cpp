#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

TEST(FolderLayout, FoldersFollowTheProgramFolderAndEndInTheSeparator)
{
    TestInstallation inst;
    const QString sep = separator();
    for (const QString& programFolder : {inst.folder(), inst.folder().chopped(1)}) {
        inst.state.programFolder = programFolder;
        inst.platform.fakeSystem.env["WinDir"] = std::string("/opt/win");
        IzvediDirektorije(inst.ctx);
        EXPECT_EQ(inst.state.installFolder, inst.folder());
        EXPECT_EQ(inst.state.updateFolder, inst.folder() + "Update" + sep);
        EXPECT_EQ(inst.state.backupFolder, inst.folder() + "UpdateBackup" + sep);
        EXPECT_EQ(inst.state.scriptsFolder, inst.folder() + "Skrite za izmjenu baze" + sep);
        EXPECT_EQ(inst.state.helpFolder, "/opt/win" + sep + "Help" + sep);
    }

    // Without WinDir the help files live beside the programs.
    inst.platform.fakeSystem.env["WinDir"] = std::nullopt;
    IzvediDirektorije(inst.ctx);
    EXPECT_EQ(inst.state.helpFolder, inst.folder() + "Help" + sep);
}

TEST(FolderLayout, OnlyTheExactComputerNameGetsTheFixedFolder)
{
    TestInstallation inst;
    inst.platform.fakeSystem.name = std::string("TROVATOSH");
    IzvediDirektorije(inst.ctx);
    EXPECT_EQ(inst.state.installFolder, QStringLiteral("D:\\Tarvino software\\Tarvino knjigovodstvo V23\\"));

    inst.platform.fakeSystem.name = std::string("Trovatosh");
    IzvediDirektorije(inst.ctx);
    EXPECT_EQ(inst.state.installFolder, inst.folder());
}

TEST(FolderLayout, PackedNamesReplaceOnlyLowerCaseCAndZWithCaron)
{
    EXPECT_EQ(packedName(QStringLiteral("Računi.exe")), QStringLiteral("Racuni.7z"));
    EXPECT_EQ(packedName(QStringLiteral("Obračun plaža.dll")), QStringLiteral("Obracun plaza.7z"));
    EXPECT_EQ(packedName(QStringLiteral("ČŽćšđ.ocx")), QStringLiteral("ČŽćšđ.7z"));
    EXPECT_EQ(packedName(QStringLiteral("Pomoć.chm")), QStringLiteral("Pomoć.7z"));
}

TEST(FolderLayout, ColumnsReadAsTheirLeadingNumber)
{
    EXPECT_DOUBLE_EQ(columnValue(QStringLiteral("2.5")), 2.5);
    EXPECT_DOUBLE_EQ(columnValue(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(columnValue(QString()), 0);
    EXPECT_DOUBLE_EQ(columnValue(QStringLiteral("12abc")), 12);
    EXPECT_EQ(columnBytes(QStringLiteral("  1234  ")), 1234);
    // Sizes beyond 32 bits stay exact.
    EXPECT_EQ(columnBytes(QStringLiteral("5000000000")), 5000000000LL);
}
