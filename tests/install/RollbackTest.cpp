#include "InstallFixture.h"
#include "install/Rollback.h"

namespace tarvino::test {
namespace {

using RollbackTest = InstallFixture;

TEST_F(RollbackTest, EveryKindGoesHomeAndOneFailedCopyDoesNotStopTheOthers)
{
    const AppState& s = state();
    put(s.backupFolder, QStringLiteral("Knjigovodstvo.exe"), "old program");
    put(s.backupFolder, QStringLiteral("Plaće.exe"), "old payroll");
    put(s.backupFolder, QStringLiteral("TarvinoGrid.ocx"), "old component");
    put(s.backupFolder, QStringLiteral("Izmjena01.enc"), "old script");
    put(s.backupFolder, QStringLiteral("Tarvino.chm"), "old help");
    put(s.backupFolder, QStringLiteral("ostavljeno.log"), "left by hand");
    put(s.installFolder, QStringLiteral("Knjigovodstvo.exe"), "new program");
    put(s.installFolder, QStringLiteral("TarvinoGrid.ocx"), "new component");
    inst.platform.faultyFiles.fail(test::FileOp::Copy, "Plaće.exe");

    PokušajVratitiSveNaPočetak(ctx);

    EXPECT_EQ(get(s.installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old program"));
    EXPECT_EQ(get(s.installFolder, QStringLiteral("TarvinoGrid.ocx")), QByteArray("old component"));
    EXPECT_EQ(get(s.scriptsFolder, QStringLiteral("Izmjena01.enc")), QByteArray("old script"));
    EXPECT_EQ(get(s.helpFolder, QStringLiteral("Tarvino.chm")), QByteArray("old help"));
    EXPECT_FALSE(get(s.installFolder, QStringLiteral("ostavljeno.log")));
    // It copies and never moves: the operator still finds every old file.
    EXPECT_EQ(QDir(s.backupFolder).entryList(QDir::Files).size(), 6);

    const QStringList journal = inst.journal();
    EXPECT_EQ(journal.first(), QStringLiteral("PokušajVratitiSveNaPočetak - početak. U direktoriji Backup fajlova:6"));
    EXPECT_EQ(journal.last(), QStringLiteral("PokušajVratitiSveNaPočetak - Kraj"));

    // The component: the one in place unregistered, the old one copied back and registered.
    const QString component = s.installFolder + QStringLiteral("TarvinoGrid.ocx");
    EXPECT_EQ(tool.calls(), QStringList({QStringLiteral("[%1][/u][/s]").arg(component), QStringLiteral("[%1][/s]").arg(component)}));

    // The failed copy: its line, then its critical box.
    const QString head = QStringLiteral("PokušajVratitiSveNaPočetak - Nastala je greška u kopiranju nazad programa: Plaće.exe");
    const qsizetype failedAt = journal.indexOf(head);
    ASSERT_GE(failedAt, 0);
    EXPECT_EQ(journal.at(failedAt + 1), QStringLiteral("Poruka o grešci je: Access is denied."));
    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_EQ(inst.window.messages[0].icon, Icon::Critical);
    EXPECT_EQ(inst.window.messages[0].text,
              QStringLiteral("Nastala je greška u kopiranju nazad programa: Plaće.exe\r\nPoruka o grešci je: Access is denied.\r\n"
                             "Program ne može razriješiti problem pa ćete morati reinstalirati program!"));
    EXPECT_GT(window.journalAtBox.at(0), failedAt + 1);
}

TEST_F(RollbackTest, ComponentIsPutBackEvenWhenTheToolIsMissing)
{
    const AppState& s = state();
    put(s.backupFolder, QStringLiteral("TarvinoGrid.ocx"), "old component");
    put(s.installFolder, QStringLiteral("TarvinoGrid.ocx"), "new component");
    tool.setExecutable(false);

    PokušajVratitiSveNaPočetak(ctx);

    EXPECT_EQ(get(s.installFolder, QStringLiteral("TarvinoGrid.ocx")), QByteArray("old component"));
    // A box for each failed start; the rollback goes on after them.
    EXPECT_EQ(inst.window.messages.size(), 2u);
    EXPECT_EQ(inst.window.status(Panel::Action), QStringLiteral("Registracija stare komponente: TarvinoGrid.ocx"));
}

} // namespace
} // namespace tarvino::test
