#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "plan/ManifestRow.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

// The end-to-end runs place every kind of file without WinDir and from a program folder without its
// final separator; here the other forms.
TEST(FolderLayout, FoldersFollowTheProgramFolderAndEndInTheSeparator)
{
    TestInstallation inst;
    const QString in = inst.folder();
    const QString sep = separator();
    inst.state.programFolder = in;
    inst.platform.fakeSystem.env["WinDir"] = std::string("/opt/win");
    IzvediDirektorije(inst.ctx);
    EXPECT_EQ((QStringList {inst.state.installFolder, inst.state.updateFolder, inst.state.backupFolder,
                            inst.state.scriptsFolder, inst.state.helpFolder}),
              (QStringList {in, in + "Update" + sep, in + "UpdateBackup" + sep,
                            in + "Skrite za izmjenu baze" + sep, "/opt/win" + sep + "Help" + sep}));
}

TEST(FolderLayout, OnlyTheExactComputerNameGetsTheFixedFolder)
{
    TestInstallation inst;
    const QString fixed = QStringLiteral("D:\\Tarvino software\\Tarvino knjigovodstvo V23\\");
    const std::vector<std::pair<std::optional<std::string>, QString>> cases {
        {"TROVATOSH", fixed}, {"Trovatosh", inst.folder()}, {std::nullopt, inst.folder()}};
    for (const auto& [name, expected] : cases) {
        inst.platform.fakeSystem.name = name;
        IzvediDirektorije(inst.ctx);
        EXPECT_EQ(inst.state.installFolder, expected) << name.value_or("no name");
    }
}

TEST(FolderLayout, PackedNamesAndColumnValues)
{
    // Only lower-case c and z with caron are replaced.
    EXPECT_EQ((QStringList {packedName(QStringLiteral("Obračun plaža.dll")),
                            packedName(QStringLiteral("ČŽćšđ.ocx"))}),
              (QStringList {QStringLiteral("Obracun plaza.7z"), QStringLiteral("ČŽćšđ.7z")}));
    // A column reads as its leading number; sizes beyond 32 bits stay exact.
    EXPECT_EQ((std::vector<double> {columnValue(QStringLiteral("2.5")), columnValue(QStringLiteral("abc")),
                                    columnValue(QString()), columnValue(QStringLiteral("12abc"))}),
              (std::vector<double> {2.5, 0, 0, 12}));
    EXPECT_EQ(columnBytes(QStringLiteral("  5000000000  ")), 5000000000LL);
}
