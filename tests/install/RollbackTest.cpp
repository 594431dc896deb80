#include "InstallFixture.h"
#include "install/Rollback.h"

namespace tarvino::test {
namespace {

using RollbackTest = InstallFixture;

TEST_F(RollbackTest, EveryKindGoesHomeAndOneFailedCopyDoesNotStopTheOthers)
{
    const AppState& s = state();
    const std::vector<std::pair<QString, QString>> homes {{s.installFolder, QStringLiteral("Knjigovodstvo.exe")},
                                                         {s.installFolder, QStringLiteral("TarvinoGrid.ocx")},
                                                         {s.scriptsFolder, QStringLiteral("Izmjena01.enc")},
                                                         {s.helpFolder, QStringLiteral("Tarvino.chm")}};
    for (const auto& [home, name] : homes) {
        put(s.backupFolder, name, "old " + name.toUtf8());
        put(home, name, "new");
    }
    put(s.backupFolder, QStringLiteral("Plaće.exe"), "old payroll");
    put(s.backupFolder, QStringLiteral("ostavljeno.log"), "left by hand");
    inst.platform.faultyFiles.fail(test::FileOp::Copy, "Plaće.exe");

    PokušajVratitiSveNaPočetak(ctx);

    for (const auto& [home, name] : homes)
        EXPECT_EQ(get(home, name), "old " + name.toUtf8()) << name.toStdString();
    EXPECT_FALSE(get(s.installFolder, QStringLiteral("ostavljeno.log")));
    // It copies and never moves: the operator still finds every old file.
    EXPECT_EQ(QDir(s.backupFolder).entryList(QDir::Files).size(), 6);
    // The component in place is unregistered, the old one registered.
    EXPECT_EQ(tool.calls(), StandInRegSvr32::unregisteredThenRegistered(s.installFolder + QStringLiteral("TarvinoGrid.ocx")));

    const QStringList journal = inst.journal();
    EXPECT_EQ(journal.first(), QStringLiteral("PokušajVratitiSveNaPočetak - početak. U direktoriji Backup fajlova:6"));
    EXPECT_EQ(journal.last(), QStringLiteral("PokušajVratitiSveNaPočetak - Kraj"));
    // The failed copy: its lines, then its critical box.
    const QString failed = QStringLiteral("Nastala je greška u kopiranju nazad programa: Plaće.exe");
    const qsizetype at = journal.indexOf(QStringLiteral("PokušajVratitiSveNaPočetak - ") + failed);
    ASSERT_GE(at, 0);
    EXPECT_EQ(journal.at(at + 1), QStringLiteral("Poruka o grešci je: Access is denied."));
    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_EQ(inst.window.messages[0].icon, Icon::Critical);
    EXPECT_EQ(inst.window.messages[0].text,
              failed + QStringLiteral("\r\nPoruka o grešci je: Access is denied.\r\nProgram ne može razriješiti problem pa "
                                      "ćete morati reinstalirati program!"));
    EXPECT_GT(window.journalAtBox.at(0), at + 1);
}

} // namespace
} // namespace tarvino::test
