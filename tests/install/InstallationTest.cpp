#include "InstallFixture.h"
#include "install/Installation.h"
#include "plan/UpdatePlan.h"

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace tarvino::test {
namespace {

const QString kGiveUp = QStringLiteral(
    "Program ne može razriješiti problem te će pokušati vratiti staru verziju programa. Ukoliko ne uspije "
    "najvjerojatnije ćete morati reinstalirati program!");
const QString kRetry = QStringLiteral(
    "Preporuka je da se prestane koristiti navedeni program i da se pokuša još jednom. Jeste li izašli iz programa "
    "i želite li nastaviti sa instalacijom (Da - Yes) ili želite prekinuti sa instalacijom (Ne - No)?");

/// A release of a program, a component, a script, a help file and a new program,
/// with the old files in their home folders and the new ones in the Update folder.
class InstallationTest : public InstallFixture {
public:
    struct Item {
        QString name;
        QString home;
        bool old;
    };

    InstallationTest()
    {
        const AppState& s = state();
        items = {{QStringLiteral("Knjigovodstvo.exe"), s.installFolder, true},
                 {QStringLiteral("TarvinoGrid.ocx"), s.installFolder, true},
                 {QStringLiteral("Izmjena01.enc"), s.scriptsFolder, true},
                 {QStringLiteral("Tarvino.chm"), s.helpFolder, true},
                 {QStringLiteral("Novi.exe"), s.installFolder, false}};
        for (const Item& item : items) {
            if (item.old)
                put(item.home, item.name, "old " + item.name.toUtf8());
            put(s.updateFolder, item.name, "new " + item.name.toUtf8());
            put(s.updateFolder, packedName(item.name), "packed " + item.name.toUtf8());
            plan(item.name);
        }
        put(s.installFolder, QStringLiteral("Verzije.txt"), "installed manifest");
        put(s.updateFolder, QStringLiteral("Verzije.txt"), "new manifest");
        hooks.pripremiVerzijaTXT = [this](Context&) {
            ++checks;
            return true;
        };
    }

    bool run() { return UpdatePrograma(ctx, hooks); }

    /// The installation as it was: every old file byte for byte, the new program
    /// absent, the installed manifest and the Update folder untouched.
    void expectAsBefore()
    {
        const AppState& s = state();
        for (const Item& item : items) {
            SCOPED_TRACE(item.name.toStdString());
            if (item.old)
                EXPECT_EQ(get(item.home, item.name), "old " + item.name.toUtf8());
            else
                EXPECT_FALSE(get(item.home, item.name));
            EXPECT_EQ(get(s.updateFolder, item.name), "new " + item.name.toUtf8());
            EXPECT_EQ(get(s.updateFolder, packedName(item.name)), "packed " + item.name.toUtf8());
        }
        EXPECT_EQ(get(s.installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
        EXPECT_EQ(get(s.updateFolder, QStringLiteral("Verzije.txt")), QByteArray("new manifest"));
        EXPECT_EQ(checks, 0);
        EXPECT_EQ(inst.journal().last(), QStringLiteral("PokušajVratitiSveNaPočetak - Kraj"));
    }

    void expectInstalled()
    {
        const AppState& s = state();
        for (const Item& item : items) {
            SCOPED_TRACE(item.name.toStdString());
            EXPECT_EQ(get(item.home, item.name), "new " + item.name.toUtf8());
            EXPECT_FALSE(get(s.updateFolder, item.name));
            EXPECT_FALSE(get(s.updateFolder, packedName(item.name)));
        }
        EXPECT_EQ(get(s.installFolder, QStringLiteral("Verzije.txt")), QByteArray("new manifest"));
        EXPECT_EQ(get(s.updateFolder, QStringLiteral("Verzije.txt")), QByteArray("new manifest"));
        EXPECT_FALSE(QDir(s.backupFolder).exists());
        EXPECT_EQ(checks, 1);
    }

    /// Index of the first journal line that begins with `head`.
    qsizetype line(const QString& head) const
    {
        const QStringList journal = inst.journal();
        for (qsizetype i = 0; i < journal.size(); ++i) {
            if (journal[i].startsWith(head))
                return i;
        }
        ADD_FAILURE() << "No journal line begins with " << head.toStdString();
        return -1;
    }

    std::vector<Item> items;
    InstallationHooks hooks;
    int checks = 0;
};

TEST_F(InstallationTest, SuccessfulRunReplacesEverythingPromotesTheManifestAndCleansUp)
{
    put(state().updateFolder, QStringLiteral("Ostalo.txt"), "stays");
    put(state().backupFolder, QStringLiteral("stari.exe"), "from an earlier run");

    EXPECT_TRUE(run());
    expectInstalled();
    EXPECT_EQ(get(state().updateFolder, QStringLiteral("Ostalo.txt")), QByteArray("stays"));

    const QString component = state().installFolder + QStringLiteral("TarvinoGrid.ocx");
    const QString unregister = QStringLiteral("RegSvr32.exe \"") + component + QStringLiteral("\" /u /s");
    const QString reg = QStringLiteral("RegSvr32.exe \"") + component + QStringLiteral("\" /s");
    QStringList expected = {
        QStringLiteral("UpdatePrograma- početak"),
        QStringLiteral("UpdatePrograma - Početak"),
        QStringLiteral("UpdatePrograma - Backup programa: Knjigovodstvo.exe"),
        QStringLiteral("UpdatePrograma - Kopiranje novog programa: Knjigovodstvo.exe"),
        QStringLiteral("UpdatePrograma - Deregistracija komponente: TarvinoGrid.ocx"),
        unregister,
        unregister + QStringLiteral(" Uspješno"),
        QStringLiteral("UpdatePrograma - Backup komponente: TarvinoGrid.ocx"),
        QStringLiteral("UpdatePrograma - Kopiranje nove komponente: TarvinoGrid.ocx"),
        reg,
        reg + QStringLiteral(" Uspješno"),
        QStringLiteral("UpdatePrograma - Backup datoteke: Izmjena01.enc"),
        QStringLiteral("UpdatePrograma - Kopiranje nove datoteke: Izmjena01.enc"),
        QStringLiteral("UpdatePrograma - Backup datoteke: Tarvino.chm"),
        QStringLiteral("UpdatePrograma - Kopiranje nove datoteke: Tarvino.chm"),
        QStringLiteral("UpdatePrograma - Backup programa: Novi.exe"),
        QStringLiteral("UpdatePrograma - Kopiranje novog programa: Novi.exe"),
        QStringLiteral("UpdatePrograma - Backup Verzije.txt"),
        QStringLiteral("UpdatePrograma - Kopiranje Verzije.txt"),
        QStringLiteral("UpdatePrograma - Brisanje fajlova *.7z"),
        QStringLiteral("UpdatePrograma - Brisanje fajlova *.exe"),
        QStringLiteral("UpdatePrograma - Brisanje fajlova *.enc"),
        QStringLiteral("UpdatePrograma - Brisanje fajlova *.chm"),
        QStringLiteral("UpdatePrograma - Brisanje fajlova *.dll"),
        QStringLiteral("UpdatePrograma - Greška u brisanju fajlova *.dll - "),
        QStringLiteral("UpdatePrograma - Brisanje direktorije ") + state().backupFolder,
        QStringLiteral("UpdatePrograma - Kraj"),
    };
    QStringList journal = inst.journal();
    // The platform's own description follows the cleaning failure.
    for (QString& l : journal) {
        if (l.startsWith(QStringLiteral("UpdatePrograma - Greška u brisanju fajlova *.dll - ")))
            l = QStringLiteral("UpdatePrograma - Greška u brisanju fajlova *.dll - ");
    }
    EXPECT_EQ(journal, expected);

    EXPECT_TRUE(inst.window.messages.empty());
    EXPECT_TRUE(inst.window.questions.isEmpty());
    EXPECT_EQ(inst.window.status(Panel::Action), QString());
    EXPECT_TRUE(inst.window.actionHistory.contains(QStringLiteral("Registracija nove komponente: TarvinoGrid.ocx")));
    EXPECT_FALSE(inst.window.actionHistory.contains(QStringLiteral("Deregistracija komponente: TarvinoGrid.ocx")));
    EXPECT_EQ(inst.window.marks.size(), 10u);
    EXPECT_EQ(inst.window.marks.front(), std::make_pair(QStringLiteral("Knjigovodstvo.exe"), 5));
    EXPECT_EQ(inst.window.marks.back(), std::make_pair(QStringLiteral("Novi.exe"), 3));
}

TEST_F(InstallationTest, ProgramInUseAnsweredYesAndFreedThenGoesOn)
{
    inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe", 1);
    inst.window.answer({Answer::Yes});

    EXPECT_TRUE(run());
    expectInstalled();
    const qsizetype failed = line(QStringLiteral("UpdatePrograma - Nastala je greška u premještanju programa: "
                                                 "Knjigovodstvo.exeNajvjerojatnije se koristi. "));
    EXPECT_EQ(inst.journal().at(failed + 1), QStringLiteral("Poruka o grešci je: Access is denied."));
    EXPECT_GT(line(QStringLiteral("UpdatePrograma - Ponovni backup programa: Knjigovodstvo.exe")), failed);
    ASSERT_EQ(inst.window.questions.size(), 1);
    EXPECT_EQ(inst.window.questions[0],
              QStringLiteral("Nastala je greška u premještanju programa: Knjigovodstvo.exeNajvjerojatnije se koristi. "
                             "\r\nPoruka o grešci je: Access is denied.\r\n") + kRetry);
    EXPECT_GT(window.journalAtBox.at(0), failed + 1);
}

/// One failure injected at one step of one item.
struct FailureCase {
    const char* name;
    std::function<void(InstallationTest&)> arrange;
    /// Beginning of the failure's own journal line; empty for a registration failure.
    QString journalHead;
    /// The first box: a question (form A) or a critical box.
    bool question;
    QString box;
};

class InstallationFailureTest : public InstallationTest, public ::testing::WithParamInterface<FailureCase> {};

void injectMove(InstallationTest& t, const char* name, int occurrence = 1,
                platform::Outcome outcome = platform::Outcome::failed(13, "Access is denied."))
{
    t.inst.platform.faultyFiles.fail(FileOp::Move, name, occurrence, outcome);
}

void injectCopy(InstallationTest& t, const char* name)
{
    // Only the copy out of the Update folder; the way back from the backup folder stays open.
    t.inst.platform.faultyFiles.fail(FileOp::Copy, native(QStringLiteral("Update") + separator() + QString::fromUtf8(name)));
}

QString inUse(const char* head, const char* name)
{
    return QString::fromUtf8(head) + QString::fromUtf8(name) +
           QStringLiteral("Najvjerojatnije se koristi. \r\nPoruka o grešci je: Access is denied.");
}

QString failed(const char* head, const char* name)
{
    return QString::fromUtf8(head) + QString::fromUtf8(name) + QStringLiteral("\r\nPoruka o grešci je: Access is denied.");
}

const FailureCase kFailures[] = {
    {"ProgramInUseAnsweredNo",
     [](InstallationTest& t) {
         injectMove(t, "Knjigovodstvo.exe");
         t.inst.window.answer({Answer::No});
     },
     QStringLiteral("UpdatePrograma - Nastala je greška u premještanju programa: Knjigovodstvo.exe"), true,
     inUse("Nastala je greška u premještanju programa: ", "Knjigovodstvo.exe") + CRLF + kRetry},
    {"ProgramInUseAnsweredYesAndStillInUse",
     [](InstallationTest& t) {
         injectMove(t, "Knjigovodstvo.exe", 0);
         t.inst.window.answer({Answer::Yes});
     },
     QStringLiteral("UpdatePrograma - Nastala je greška u ponovnom premještanju programa: Knjigovodstvo.exe"), false,
     inUse("Nastala je greška u ponovnom premještanju programa: ", "Knjigovodstvo.exe") + CRLF + kGiveUp},
    {"ProgramInUseAnsweredYesAndThenGone",
     [](InstallationTest& t) {
         // The second fault only counts the calls that the first one let through.
         injectMove(t, "Knjigovodstvo.exe", 1);
         injectMove(t, "Knjigovodstvo.exe", 1, platform::Outcome::absent(2, "Access is denied."));
         t.inst.window.answer({Answer::Yes});
     },
     QStringLiteral("UpdatePrograma - Nastala je greška u ponovnom premještanju programa: Knjigovodstvo.exe"), false,
     inUse("Nastala je greška u ponovnom premještanju programa: ", "Knjigovodstvo.exe") + CRLF + kGiveUp},
    {"ProgramCopy", [](InstallationTest& t) { injectCopy(t, "Knjigovodstvo.exe"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u kopiranju novog programa: Knjigovodstvo.exe"), false,
     failed("Nastala je greška u kopiranju novog programa: ", "Knjigovodstvo.exe") + CRLF + kGiveUp},
    {"ComponentUnregistering", [](InstallationTest& t) { t.tool.setExecutable(false); }, QString(), false,
     QStringLiteral("Desila se greška u deregistraciji komponente: TarvinoGrid.ocx\r\nDeregistracija komponente: "
                    "TarvinoGrid.ocx\r\n") + kGiveUp},
    {"ComponentInUseAnsweredNo",
     [](InstallationTest& t) {
         injectMove(t, "TarvinoGrid.ocx");
         t.inst.window.answer({Answer::No});
     },
     QStringLiteral("UpdatePrograma - Nastala je greška u premještanju komponente: TarvinoGrid.ocx"), true,
     inUse("Nastala je greška u premještanju komponente: ", "TarvinoGrid.ocx") + CRLF + kRetry},
    {"ComponentInUseAnsweredYesAndStillInUse",
     [](InstallationTest& t) {
         injectMove(t, "TarvinoGrid.ocx", 0);
         t.inst.window.answer({Answer::Yes});
     },
     QStringLiteral("UpdatePrograma - Nastala je greška u ponovnom premještanju komponente: TarvinoGrid.ocx"), false,
     inUse("Nastala je greška u ponovnom premještanju komponente: ", "TarvinoGrid.ocx") + CRLF + kGiveUp},
    {"ComponentCopy", [](InstallationTest& t) { injectCopy(t, "TarvinoGrid.ocx"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u kopiranju nove komponente: TarvinoGrid.ocx"), false,
     failed("Nastala je greška u kopiranju nove komponente: ", "TarvinoGrid.ocx") + CRLF + kGiveUp},
    {"ComponentRegistering", [](InstallationTest& t) { t.tool.missingAfter(1); }, QString(), false,
     QStringLiteral("Desila se greška u registraciji nove komponente: TarvinoGrid.ocx\r\nRegistracija nove "
                    "komponente: TarvinoGrid.ocx\r\n") + kGiveUp},
    {"ScriptBackup", [](InstallationTest& t) { injectMove(t, "Izmjena01.enc"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u premještanju datoteke: Izmjena01.enc"), false,
     failed("Nastala je greška u premještanju datoteke: ", "Izmjena01.enc") + CRLF + kGiveUp},
    {"ScriptCopy", [](InstallationTest& t) { injectCopy(t, "Izmjena01.enc"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u kopiranju nove datoteke: Izmjena01.enc"), false,
     failed("Nastala je greška u kopiranju nove datoteke: ", "Izmjena01.enc") + CRLF + kGiveUp},
    {"HelpBackup", [](InstallationTest& t) { injectMove(t, "Tarvino.chm"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u premještanju datoteke: Tarvino.chm"), false,
     failed("Nastala je greška u premještanju datoteke: ", "Tarvino.chm") + CRLF + kGiveUp},
    {"HelpCopy", [](InstallationTest& t) { injectCopy(t, "Tarvino.chm"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u kopiranju nove datoteke: Tarvino.chm"), false,
     failed("Nastala je greška u kopiranju nove datoteke: ", "Tarvino.chm") + CRLF + kGiveUp},
    {"NewProgramCopy", [](InstallationTest& t) { injectCopy(t, "Novi.exe"); },
     QStringLiteral("UpdatePrograma - Nastala je greška u kopiranju novog programa: Novi.exe"), false,
     failed("Nastala je greška u kopiranju novog programa: ", "Novi.exe") + CRLF + kGiveUp},
};

TEST_P(InstallationFailureTest, LeavesTheInstallationAsItWas)
{
    const FailureCase& c = GetParam();
    c.arrange(*this);

    EXPECT_FALSE(run());
    expectAsBefore();

    // The failure's journal line (or the tool's failed start) comes before its box;
    // a critical box may follow a question answered Yes.
    const qsizetype box = c.question ? 0 : inst.window.questions.size();
    const qsizetype at = c.journalHead.isEmpty() ? line(QStringLiteral("RegSvr32.exe")) : line(c.journalHead);
    if (c.journalHead.isEmpty()) {
        const QStringList journal = inst.journal();
        qsizetype refused = -1;
        for (qsizetype i = 0; i < journal.size(); ++i) {
            if (journal[i].endsWith(QStringLiteral(" Neuspješno"))) {
                refused = i;
                break;
            }
        }
        ASSERT_GE(refused, 0);
        ASSERT_GT(window.journalAtBox.size(), box);
        EXPECT_GT(window.journalAtBox.at(box), refused);
    } else {
        ASSERT_GE(at, 0);
        EXPECT_EQ(inst.journal().at(at + 1).left(20), QStringLiteral("Poruka o grešci je: "));
        ASSERT_GT(window.journalAtBox.size(), box);
        EXPECT_GT(window.journalAtBox.at(box), at + 1);
    }
    EXPECT_LT(at, line(QStringLiteral("PokušajVratitiSveNaPočetak - početak.")));

    if (c.question) {
        ASSERT_EQ(inst.window.questions.size(), 1);
        EXPECT_EQ(inst.window.questions[0], c.box);
        // No: the rollback, without a critical box.
        EXPECT_TRUE(inst.window.messages.empty());
    } else {
        ASSERT_FALSE(inst.window.messages.empty());
        EXPECT_EQ(inst.window.messages[0].text, c.box);
        EXPECT_EQ(inst.window.messages[0].icon, Icon::Critical);
    }
    EXPECT_FALSE(inst.window.marks.empty());
    EXPECT_EQ(inst.window.marks.back().second, int(StageInstalling));
}

INSTANTIATE_TEST_SUITE_P(EveryStep, InstallationFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(InstallationTest, ComponentLeftInPlaceIsRegisteredAgain)
{
    // Unregistered before its move, which then fails: the rollback would not know of it.
    injectMove(*this, "TarvinoGrid.ocx");
    inst.window.answer({Answer::No});

    EXPECT_FALSE(run());
    const QString component = state().installFolder + QStringLiteral("TarvinoGrid.ocx");
    EXPECT_EQ(tool.calls(), QStringList({QStringLiteral("[%1][/u][/s]").arg(component), QStringLiteral("[%1][/s]").arg(component)}));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("TarvinoGrid.ocx")), QByteArray("old TarvinoGrid.ocx"));
}

TEST_F(InstallationTest, ScriptsFolderMissingIsNoNewScriptButAFailure)
{
    QDir(state().scriptsFolder).removeRecursively();

    EXPECT_FALSE(run());
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old Knjigovodstvo.exe"));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("TarvinoGrid.ocx")), QByteArray("old TarvinoGrid.ocx"));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
    ASSERT_FALSE(inst.window.messages.empty());
    EXPECT_TRUE(inst.window.messages[0].text.startsWith(
        QStringLiteral("Nastala je greška u premještanju datoteke: Izmjena01.enc\r\nPoruka o grešci je: ")));
}

TEST_F(InstallationTest, OnlyOtherKindsAndEmptyNamesStillPromoteTheManifest)
{
    AppState& s = state();
    for (int row = 0; row < Matrix::Rows; ++row)
        s.plan.at(row, 6) = Cell(std::int64_t(0));
    s.plan.at(0, 0) = Cell(QStringLiteral("VELIKA.EXE"));
    s.plan.at(0, 6) = Cell(std::int64_t(1));
    s.plan.at(1, 0) = Cell(QString());
    s.plan.at(1, 6) = Cell(std::int64_t(1));
    s.plan.at(2, 0) = Cell(QStringLiteral("Upute.txt"));
    s.plan.at(2, 6) = Cell(std::int64_t(1));
    put(s.updateFolder, QStringLiteral("VELIKA.EXE"), "capitals");

    EXPECT_TRUE(run());
    const QStringList journal = inst.journal();
    EXPECT_EQ(journal.mid(2, 2), QStringList({QStringLiteral("UpdatePrograma - nepoznata ekstenzija: EXE"),
                                              QStringLiteral("UpdatePrograma - nepoznata ekstenzija: txt")}));
    EXPECT_FALSE(get(s.installFolder, QStringLiteral("VELIKA.EXE")));
    EXPECT_EQ(get(s.installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old Knjigovodstvo.exe"));
    EXPECT_EQ(get(s.installFolder, QStringLiteral("Verzije.txt")), QByteArray("new manifest"));
    // "*.exe" matches the capitals as Windows does.
    EXPECT_FALSE(get(s.updateFolder, QStringLiteral("VELIKA.EXE")));
    EXPECT_FALSE(QDir(s.backupFolder).exists());
    EXPECT_EQ(inst.window.marks,
              (std::vector<std::pair<QString, int>> {{QStringLiteral("VELIKA.EXE"), 5}, {QStringLiteral("VELIKA.EXE"), 3},
                                                     {QStringLiteral("Upute.txt"), 5}, {QStringLiteral("Upute.txt"), 3}}));
    EXPECT_EQ(checks, 1);
}

TEST_F(InstallationTest, BuildComputerStopsAfterTheBackupFolderIsReady)
{
    inst.platform.fakeSystem.name = std::string("TROVA-DVD");

    EXPECT_FALSE(run());
    EXPECT_EQ(inst.window.messageTexts(), QStringList({QStringLiteral("Ime računala je TROVA-DVD te nije moguće nastaviti sa radom!")}));
    EXPECT_EQ(inst.window.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(inst.journal(), QStringList({QStringLiteral("UpdatePrograma- početak")}));
    EXPECT_TRUE(QDir(state().backupFolder).exists());
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old Knjigovodstvo.exe"));

    // Another name, differing only in case, is no build computer.
    inst.platform.fakeSystem.name = std::string("trova-dvd");
    EXPECT_TRUE(run());
}

TEST_F(InstallationTest, BackupFolderThatCannotBeMadeEndsTheProgram)
{
    inst.platform.faultyFiles.fail(FileOp::CreateFolder, "UpdateBackup");

    EXPECT_THROW(run(), ProgramEnded);
    const QString text = QStringLiteral("Nastala je greška u kreiranju UpdateBackup direktorije! Program za ažuriranje "
                                        "novih verzija mora prestati sa radom. Vjerojatno nemate administratorska prava!"
                                        "\r\nGreška: Access is denied.");
    EXPECT_EQ(inst.window.messageTexts(), QStringList({text}));
    EXPECT_EQ(inst.window.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(inst.journal(), (QStringList {QStringLiteral("UpdatePrograma- početak"),
                                            QStringLiteral("UpdatePrograma- Nastala je greška u kreiranju UpdateBackup "
                                                           "direktorije! Program za ažuriranje novih verzija mora "
                                                           "prestati sa radom. Vjerojatno nemate administratorska prava!"),
                                            QStringLiteral("Greška: Access is denied.")}));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old Knjigovodstvo.exe"));
}

TEST_F(InstallationTest, OldFilesThatStayInTheBackupFolderStopBeforeAnythingIsReplaced)
{
    // A rollback would copy such files over the installation.
    put(state().backupFolder, QStringLiteral("Knjigovodstvo.exe"), "a release before the last");
    inst.platform.faultyFiles.fail(FileOp::DeleteMatching, "UpdateBackup");

    EXPECT_FALSE(run());
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old Knjigovodstvo.exe"));
    EXPECT_EQ(get(state().updateFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("new Knjigovodstvo.exe"));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_TRUE(inst.window.messages[0].text.startsWith(QStringLiteral("Nije moguće isprazniti UpdateBackup direktoriju: ")));
    EXPECT_EQ(inst.journal().size(), 3);
    EXPECT_TRUE(inst.window.marks.empty());
}

TEST_F(InstallationTest, FailedManifestCopyAndCleaningAreJournalledOnly)
{
    inst.platform.faultyFiles.fail(FileOp::Copy, native(state().updateFolder + QStringLiteral("Verzije.txt")));
    inst.platform.faultyFiles.fail(FileOp::RemoveFolder, "UpdateBackup");

    EXPECT_TRUE(run());
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
    EXPECT_GE(line(QStringLiteral("UpdatePrograma - Greška u kopiranju Verzije.txt Access is denied.")), 0);
    EXPECT_GE(line(QStringLiteral("UpdatePrograma - Greška u brisanju direktorije - ") + state().backupFolder +
                   QStringLiteral("Access is denied.")),
              0);
    EXPECT_TRUE(inst.window.messages.empty());
    EXPECT_EQ(inst.journal().last(), QStringLiteral("UpdatePrograma - Kraj"));
}

TEST_F(InstallationTest, ManifestCopyCutShortLeavesTheOldManifestInstalled)
{
    // A real copy that breaks off part way: a file-size limit stands in for a full disk.
    put(state().updateFolder, QStringLiteral("Verzije.txt"),
        QByteArray("Knjigovodstvo.exe;23;1;6;100;200;0\r\n").repeated(8000));
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    rlimit limit = oldLimit;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    const bool installed = run();
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(installed);
    EXPECT_GE(line(QStringLiteral("UpdatePrograma - Greška u kopiranju Verzije.txt ")), 0);
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("new Knjigovodstvo.exe"));
    EXPECT_TRUE(inst.window.messages.empty());
}

} // namespace
} // namespace tarvino::test
