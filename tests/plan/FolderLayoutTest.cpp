#include "plan/FolderLayout.h"

#include "TestInstallation.h"
#include "core/Text.h"

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
    EXPECT_EQ((QStringList{inst.state.installFolder, inst.state.updateFolder, inst.state.backupFolder,
                           inst.state.scriptsFolder, inst.state.helpFolder}),
              (QStringList{in, in + "Update" + sep, in + "UpdateBackup" + sep,
                           in + "Skrite za izmjenu baze" + sep, "/opt/win" + sep + "Help" + sep}));
}

TEST(FolderLayout, PackedNamesReplaceOnlyLowerCaseCAndZWithCaron)
{
    EXPECT_EQ(packedName(QStringLiteral("Obračun plaža.dll")), QStringLiteral("Obracun plaza.7z"));
    EXPECT_EQ(packedName(QStringLiteral("ČŽćšđ.ocx")), QStringLiteral("ČŽćšđ.7z"));
}
