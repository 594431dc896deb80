#include "install/Installation.h"

#include "FullDisk.h"
#include "InstallFixture.h"
#include "core/Journal.h"
#include "install/Registration.h"
#include "install/Rollback.h"
#include "install/UpdateRun.h"
#include "plan/UpdatePlan.h"

#include <QDirIterator>
#include <algorithm>
#include <QRegularExpression>
#include <functional>
#include <map>
#include <optional>

namespace tarvino::test {
namespace {

// Changes to the disk of one whole installation: the tables over them run past the last.
constexpr int kChanges = 90;

const QString kGiveUp = QStringLiteral(
    "Program ne može razriješiti problem te će pokušati vratiti staru verziju programa. Ukoliko ne "
    "uspije najvjerojatnije ćete morati reinstalirati program!");
const QString kRetry = QStringLiteral(
    "Preporuka je da se prestane koristiti navedeni program i da se pokuša još jednom. Jeste li izašli iz "
    "programa i želite li nastaviti sa instalacijom (Da - Yes) ili želite prekinuti sa instalacijom "
    "(Ne - No)?");

/// A release of a program, a component, a script, a help file and a new program,
/// with the old files in their home folders and the new ones in the Update folder.
class InstallationTest : public InstallFixture {
public:
    struct Item {
        QString name;
        QString home;
    };

    InstallationTest()
    {
        const AppState& s = state();
        items = {{QStringLiteral("Knjigovodstvo.exe"), s.installFolder},
                 {QStringLiteral("TarvinoGrid.ocx"), s.installFolder},
                 {QStringLiteral("Izmjena01.enc"), s.scriptsFolder},
                 {QStringLiteral("Tarvino.chm"), s.helpFolder},
                 {QStringLiteral("Novi.exe"), s.installFolder}};
        for (const Item& item : items) {
            if (item.name != QStringLiteral("Novi.exe"))
                put(item.home, item.name, "old " + item.name.toUtf8());
            put(s.updateFolder, item.name, "new " + item.name.toUtf8());
            put(s.updateFolder, packedName(item.name), "packed " + item.name.toUtf8());
            plan(item.name);
        }
        put(s.installFolder, QStringLiteral("Verzije.txt"), "installed manifest");
        put(s.updateFolder, QStringLiteral("Verzije.txt"), "new manifest");
        hooks.pripremiVerzijaTXT = [this](Context&) { return ++checks > 0; };
    }

    bool run()
    {
        before = files();
        return UpdatePrograma(ctx, hooks);
    }

    /// Every file of the installation and the help folder with its text, the journal
    /// and the backup folder left out.
    std::map<QString, QString> files()
    {
        std::map<QString, QString> found;
        for (const QString& folder : {state().installFolder, state().helpFolder}) {
            for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
                const QString path = QDir::cleanPath(it.next());
                if (path != journalPath(state()) && !path.startsWith(state().backupFolder))
                    found[path] = QString::fromUtf8(get(path, {}).value_or(QByteArray()));
            }
        }
        return found;
    }

    /// Every file byte for byte as before the run, the second check not run.
    void expectAsBefore()
    {
        EXPECT_EQ(files(), before);
        EXPECT_EQ(checks, 0);
    }

    /// The new files in their homes, the Update folder cleaned, the manifest promoted
    /// and the check run once more.
    void expectInstalled()
    {
        std::map<QString, QString> expected = before;
        for (const Item& item : items) {
            expected.erase(state().updateFolder + item.name);
            expected.erase(state().updateFolder + packedName(item.name));
            expected[item.home + item.name] = QStringLiteral("new ") + item.name;
        }
        expected[state().installFolder + QStringLiteral("Verzije.txt")] = QStringLiteral("new manifest");
        EXPECT_EQ(files(), expected);
        EXPECT_FALSE(QDir(state().backupFolder).exists());
        EXPECT_EQ(checks, 1);
    }

    /// Index of the first journal line that begins with `head`, or -1.
    qsizetype line(const QString& head) const
    {
        return inst.journal().indexOf(
            QRegularExpression(QRegularExpression::escape(head) + QStringLiteral(".*")));
    }

    std::vector<Item> items;
    InstallationHooks hooks;
    int checks = 0;
    std::map<QString, QString> before;
};

using Arrange = std::function<void(InstallationTest&)>;

Arrange moveFails(const char* name, int occurrence = 1, std::optional<Answer> answer = {})
{
    return [=](InstallationTest& t) {
        t.inst.platform.faultyFiles.fail(FileOp::Move, name, occurrence);
        if (answer)
            t.inst.window.answer({*answer});
    };
}

Arrange copyFails(const char* name)
{
    // Only the copy out of the Update folder; the way back from the backup folder stays open.
    return [=](InstallationTest& t) {
        t.inst.platform.faultyFiles.fail(
            FileOp::Copy, native(QStringLiteral("Update") + separator() + QString::fromUtf8(name)));
    };
}

TEST_F(InstallationTest, SuccessfulRunReplacesEverythingPromotesTheManifestAndCleansUp)
{
    put(state().updateFolder, QStringLiteral("Ostalo.txt"), "stays");
    put(state().backupFolder, QStringLiteral("stari.exe"), "from an earlier run");
    // Differing only in case from the build computer's name.
    inst.platform.fakeSystem.name = std::string("trova-dvd");

    EXPECT_TRUE(run());
    expectInstalled();
    EXPECT_LT(inst.platform.faultyFiles.changes(), kChanges);
    // The component is unregistered before it moves and registered once the new one is in place.
    qsizetype previous = -1;
    for (const QString& head : {QStringLiteral("UpdatePrograma - Deregistracija komponente: TarvinoGrid.ocx"),
                                QStringLiteral("UpdatePrograma - Backup komponente: TarvinoGrid.ocx"),
                                QStringLiteral("UpdatePrograma - Kopiranje nove komponente: TarvinoGrid.ocx"),
                                QStringLiteral("RegSvr32.exe \"") + state().installFolder +
                                    QStringLiteral("TarvinoGrid.ocx\" /s Uspješno")}) {
        EXPECT_GT(line(head), previous) << head.toStdString();
        previous = line(head);
    }
    EXPECT_TRUE(inst.window.messages.empty() && inst.window.questions.isEmpty());
    EXPECT_EQ(inst.window.status(Panel::Action), QString());
    std::vector<std::pair<QString, int>> marks;
    for (const Item& item : items)
        marks.insert(marks.end(), {{item.name, StageInstalling}, {item.name, StageInstalled}});
    EXPECT_EQ(inst.window.marks, marks);
}

TEST_F(InstallationTest, ProgramInUseAnsweredYesAndFreedThenGoesOn)
{
    moveFails("Knjigovodstvo.exe", 1, Answer::Yes)(*this);

    EXPECT_TRUE(run());
    expectInstalled();
    const qsizetype failed = line(QStringLiteral("UpdatePrograma - Nastala je greška u premještanju programa: "));
    EXPECT_GT(failed, 0);
    ASSERT_EQ(window.journalAtBox.size(), 1);
    EXPECT_GT(window.journalAtBox.at(0), failed + 1);
}

/// One failure injected at one step of one item.
struct FailureCase {
    const char* name;
    Arrange arrange;
    /// The box's head.
    QString failure;
    /// The registration tool failed: its journal line, not an error's, comes before the box.
    bool tool = false;
    /// The box says the file is in use.
    bool inUse = false;
    /// The first box asks whether to try again.
    bool question = false;
    /// Unregistered before its move, which then failed: the rollback would not know of it.
    bool registeredAgain = false;
};

class InstallationFailureTest : public InstallationTest, public ::testing::WithParamInterface<FailureCase> {};

QString error(const char* step)
{
    return QStringLiteral("Nastala je greška u ") + QString::fromUtf8(step);
}

const FailureCase kFailures[] = {
    {.name = "ProgramInUseAnsweredNo", .arrange = moveFails("Knjigovodstvo.exe", 1, Answer::No),
     .failure = error("premještanju programa: Knjigovodstvo.exe"), .inUse = true, .question = true},
    {.name = "ProgramInUseAnsweredYesAndStillInUse", .arrange = moveFails("Knjigovodstvo.exe", 0, Answer::Yes),
     .failure = error("ponovnom premještanju programa: Knjigovodstvo.exe"), .inUse = true},
    {.name = "ProgramInUseAnsweredYesAndThenGone",
     .arrange =
         [](InstallationTest& t) {
             // The second fault only counts the calls that the first one let through.
             moveFails("Knjigovodstvo.exe", 1, Answer::Yes)(t);
             t.inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe", 1,
                                              platform::Outcome::absent(2, "Access is denied."));
         },
     .failure = error("ponovnom premještanju programa: Knjigovodstvo.exe"), .inUse = true},
    {.name = "ProgramCopy", .arrange = copyFails("Knjigovodstvo.exe"),
     .failure = error("kopiranju novog programa: Knjigovodstvo.exe")},
    {.name = "ComponentUnregistering", .arrange = [](InstallationTest& t) { t.tool.setExecutable(false); },
     .failure = QStringLiteral("Desila se greška u deregistraciji komponente: TarvinoGrid.ocx\r\n"
                               "Deregistracija komponente: TarvinoGrid.ocx\r\n"),
     .tool = true},
    {.name = "ComponentInUseAnsweredNo", .arrange = moveFails("TarvinoGrid.ocx", 1, Answer::No),
     .failure = error("premještanju komponente: TarvinoGrid.ocx"), .inUse = true, .question = true,
     .registeredAgain = true},
    {.name = "ComponentInUseAnsweredYesAndStillInUse", .arrange = moveFails("TarvinoGrid.ocx", 0, Answer::Yes),
     .failure = error("ponovnom premještanju komponente: TarvinoGrid.ocx"), .inUse = true},
    {.name = "ComponentCopy", .arrange = copyFails("TarvinoGrid.ocx"),
     .failure = error("kopiranju nove komponente: TarvinoGrid.ocx")},
    {.name = "ComponentRegistering", .arrange = [](InstallationTest& t) { t.tool.missingAfter(1); },
     .failure = QStringLiteral("Desila se greška u registraciji nove komponente: TarvinoGrid.ocx\r\n"
                               "Registracija nove komponente: TarvinoGrid.ocx\r\n"),
     .tool = true},
    {.name = "ScriptBackup", .arrange = moveFails("Izmjena01.enc"), .failure = error("premještanju datoteke: Izmjena01.enc")},
    {.name = "ScriptCopy", .arrange = copyFails("Izmjena01.enc"), .failure = error("kopiranju nove datoteke: Izmjena01.enc")},
    {.name = "HelpBackup", .arrange = moveFails("Tarvino.chm"), .failure = error("premještanju datoteke: Tarvino.chm")},
    {.name = "HelpCopy", .arrange = copyFails("Tarvino.chm"), .failure = error("kopiranju nove datoteke: Tarvino.chm")},
    {.name = "NewProgramCopy", .arrange = copyFails("Novi.exe"), .failure = error("kopiranju novog programa: Novi.exe")},
};

TEST_P(InstallationFailureTest, LeavesTheInstallationAsItWas)
{
    const FailureCase& c = GetParam();
    c.arrange(*this);

    EXPECT_FALSE(run());
    expectAsBefore();
    EXPECT_EQ(inst.journal().last(), QStringLiteral("PokušajVratitiSveNaPočetak - Kraj"));

    // The failure's lines (or the tool's failed start) come before its box and the rollback.
    const qsizetype at = c.tool ? inst.journal().indexOf(QRegularExpression(QStringLiteral(".* Neuspješno")))
                                : line(QStringLiteral("UpdatePrograma - ") + c.failure) + 1;
    ASSERT_GT(at, 0);
    EXPECT_LT(at, line(QStringLiteral("PokušajVratitiSveNaPočetak - početak.")));
    // A critical box may follow a question answered Yes.
    EXPECT_GT(window.journalAtBox.value(c.question ? 0 : inst.window.questions.size()), at);

    const QString box =
        c.failure +
        (c.tool ? QString()
                : (c.inUse ? QStringLiteral("Najvjerojatnije se koristi. ") : QString()) +
                      QStringLiteral("\r\nPoruka o grešci je: Access is denied.\r\n")) +
        (c.question ? kRetry : kGiveUp);
    EXPECT_EQ(inst.window.questions.size(), c.inUse ? 1 : 0);
    // Answered No, the question is the only box; the rollback may add boxes of its own.
    EXPECT_EQ(c.question ? inst.window.questions.value(0) : inst.window.messageTexts().value(0), box);
    EXPECT_EQ(inst.window.messages.empty(), c.question);
    for (const ShownMessage& shown : inst.window.messages)
        EXPECT_EQ(shown.icon, Icon::Critical);
    ASSERT_FALSE(inst.window.marks.empty());
    EXPECT_EQ(inst.window.marks.back().second, int(StageInstalling));
    if (c.registeredAgain) {
        EXPECT_EQ(tool.calls(), StandInRegSvr32::unregisteredThenRegistered(state().installFolder +
                                                                            QStringLiteral("TarvinoGrid.ocx")));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStep, InstallationFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

/// A link planted where the installation writes, pointing at a folder of someone else's.
struct LinkCase {
    const char* name;
    std::function<void(InstallationTest&, const QString& outside)> plant;
    bool installed; // a refused working folder stops before anything changes
};

class InstallationLinkTest : public InstallationTest, public ::testing::WithParamInterface<LinkCase> {};

const LinkCase kLinks[] = {
    {.name = "BackupFolder",
     .plant = [](InstallationTest& t,
                 const QString& outside) { QFile::link(outside, t.state().backupFolder.chopped(1)); },
     .installed = false},
    {.name = "ScriptsFolder",
     .plant =
         [](InstallationTest& t, const QString& outside) {
             // The working folder goes where the link points to, the link takes its place.
             QDir().rename(t.state().scriptsFolder.chopped(1), outside + QStringLiteral("/moved"));
             QFile::link(outside + QStringLiteral("/moved"), t.state().scriptsFolder.chopped(1));
         },
     .installed = false},
    {.name = "NewItem",
     .plant =
         [](InstallationTest& t, const QString& outside) {
             QFile::link(outside + QStringLiteral("/Sistem.dll"), t.state().installFolder + QStringLiteral("Novi.exe"));
         },
     .installed = true},
};

TEST_P(InstallationLinkTest, NothingOutsideChanges)
{
    const LinkCase& c = GetParam();
    QTemporaryDir outside;
    put(outside.path() + QLatin1Char('/'), QStringLiteral("Sistem.dll"), "original");
    c.plant(*this, outside.path());
    const auto snapshot = [&] {
        QStringList found;
        for (QDirIterator it(outside.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            found << path + QLatin1Char('=') + QString::fromUtf8(get(path, {}).value_or(""));
        }
        return found;
    };
    const QStringList before = snapshot();

    EXPECT_EQ(run(), c.installed);

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Novi.exe")),
              c.installed ? std::optional<QByteArray>("new Novi.exe") : std::nullopt);
    if (!c.installed) {
        EXPECT_TRUE(inst.window.marks.empty());
        EXPECT_TRUE(inst.window.messageTexts().value(0).contains(QStringLiteral(" je link (poveznica) na drugo mjesto")));
    }
}

INSTANTIATE_TEST_SUITE_P(Planted, InstallationLinkTest, ::testing::ValuesIn(kLinks),
                         [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

TEST_F(InstallationTest, CutShortCopyOfANewProgramIsDeleted)
{
    // The rollback has no old file to copy over what the copy left.
    put(state().updateFolder, QStringLiteral("Novi.exe"), QByteArray(256 * 1024, 'n'));
    const FullDisk full(64 * 1024); // writes break off there
    EXPECT_FALSE(run());
    expectAsBefore();
}

TEST_F(InstallationTest, OnlyOtherKindsAndEmptyNamesStillPromoteTheManifest)
{
    AppState& s = state();
    s.plan = {};
    const QString names[] = {QStringLiteral("VELIKA.EXE"), QString(), QStringLiteral("Upute.txt")};
    for (int row = 0; row < 3; ++row) {
        s.plan.at(row, 0) = Cell(names[row]);
        s.plan.at(row, 6) = Cell(std::int64_t(1));
    }
    put(s.updateFolder, QStringLiteral("VELIKA.EXE"), "capitals");

    EXPECT_TRUE(run());
    // Kinds are told apart case-sensitively: "EXE" is no program.
    EXPECT_FALSE(get(s.installFolder, QStringLiteral("VELIKA.EXE")));
    EXPECT_EQ(get(s.installFolder, QStringLiteral("Verzije.txt")), QByteArray("new manifest"));
    EXPECT_EQ(checks, 1);
}

TEST_F(InstallationTest, ManifestThatCannotBeReplacedFailsTheRunAndTheInstalledFilesStay)
{
    // A real copy of the new manifest that breaks off before its end.
    put(state().updateFolder, QStringLiteral("Verzije.txt"),
        QByteArray("Knjigovodstvo.exe;23;1;6;100;200;0\r\n").repeated(8000));

    const FullDisk full(64 * 1024);
    EXPECT_FALSE(run());
    // The old manifest, whole: the next check plans the new files again.
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Verzije.txt")), QByteArray("installed manifest"));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")),
              QByteArray("new Knjigovodstvo.exe"));
    EXPECT_TRUE(inst.window.messageTexts().value(0).startsWith(
        QStringLiteral("Novi programi su kopirani, ali Verzije.txt nije zamijenjena novom")));
    EXPECT_EQ(QDir(state().installFolder).entryList({QStringLiteral("Verzije*"), kInstallationRecord}, QDir::Files),
              QStringList{QStringLiteral("Verzije.txt")});
    EXPECT_EQ(checks, 0);
}

TEST_F(InstallationTest, BuildComputerStopsAfterTheBackupFolderIsReady)
{
    inst.platform.fakeSystem.name = std::string("TROVA-DVD");
    EXPECT_FALSE(run());
    expectAsBefore();
    EXPECT_EQ(inst.window.messageTexts(),
              QStringList{QStringLiteral("Ime računala je TROVA-DVD te nije moguće nastaviti sa radom!")});
    EXPECT_TRUE(QDir(state().backupFolder).exists());
}

TEST_F(InstallationTest, OldFilesThatStayInTheBackupFolderStopBeforeAnythingIsReplaced)
{
    // A rollback would copy such files over the installation.
    put(state().backupFolder, QStringLiteral("Knjigovodstvo.exe"), "a release before the last");
    inst.platform.faultyFiles.fail(FileOp::DeleteMatching, "UpdateBackup");
    EXPECT_FALSE(run());
    expectAsBefore();
    EXPECT_EQ(inst.window.messages.size(), 1u);
    EXPECT_TRUE(inst.window.marks.empty());
}

TEST_F(InstallationTest, TooLittleFreeSpaceStopsBeforeAnythingChanges)
{
    state().plan.at(0, 5) = Cell(QStringLiteral("300000000"));
    inst.platform.faultyFiles.freeBytes = 300000000;
    EXPECT_FALSE(run());
    expectAsBefore();
    EXPECT_EQ(inst.window.messages.size(), 1u);
    EXPECT_FALSE(QDir(state().backupFolder).exists());
}

/// A failure, or a kill, at each change to the disk an installation makes.
class EveryChange : public InstallationTest, public ::testing::WithParamInterface<int> {
public:
    /// Whether every item at home is its old file (a new item absent), whole.
    bool allOld()
    {
        return std::all_of(items.begin(), items.end(), [this](const Item& item) {
            const auto now = get(item.home, item.name);
            return item.name == QStringLiteral("Novi.exe") ? !now : now == "old " + item.name.toUtf8();
        });
    }
    bool allNew()
    {
        return std::all_of(items.begin(), items.end(),
                           [this](const Item& item) { return get(item.home, item.name) == "new " + item.name.toUtf8(); });
    }
    bool manifestIsNew() { return get(state().installFolder, kManifestFile) == QByteArray("new manifest"); }
    bool recorded() { return QFile::exists(state().installFolder + kInstallationRecord); }
};

TEST_P(EveryChange, FailureLeavesEveryOriginalAtHomeOrTheRunSucceeded)
{
    inst.platform.faultyFiles.failChange(GetParam());
    inst.window.answer({Answer::No});

    bool installed = false;
    try {
        installed = run();
    } catch (const ProgramEnded&) {
        // The backup folder could not be made: the program ends before anything moves.
    }
    if (installed) {
        EXPECT_TRUE(allNew() && manifestIsNew());
        return;
    }
    // Only a failure to replace the manifest leaves the new files, under the old manifest.
    EXPECT_FALSE(manifestIsNew());
    EXPECT_TRUE(allOld() || allNew());
    if (recorded()) {
        EXPECT_TRUE(recoverInterruptedInstallation(ctx));
        EXPECT_TRUE(allOld());
    }
}

TEST_P(EveryChange, KillThenStartPutsBackWhatTheInstallationHadMoved)
{
    inst.platform.faultyFiles.abandonAtChange(GetParam());
    bool installed = false;
    try {
        installed = run();
    } catch (const Abandoned&) {
    }
    inst.platform.faultyFiles.clearFaults();
    const bool interrupted = recorded();

    EXPECT_TRUE(recoverInterruptedInstallation(ctx));
    EXPECT_FALSE(recorded());
    if (interrupted) {
        EXPECT_TRUE(allOld() && !manifestIsNew());
        EXPECT_EQ(inst.window.messageTexts().last(),
                  QStringLiteral("Prethodna instalacija novih verzija je prekinuta prije kraja. Stare verzije "
                                 "programa vraćene su iz direktorije UpdateBackup."));
        EXPECT_GT(line(QStringLiteral("PokušajVratitiSveNaPočetak - Kraj")),
                  line(QStringLiteral("UpdatePrograma - Pronađena je prekinuta instalacija")));
    } else {
        // Killed before the first move or after the installation had ended: new files
        // under the old manifest are planned again.
        EXPECT_TRUE(allOld() || allNew());
        EXPECT_TRUE(!(manifestIsNew() || installed) || allNew());
    }
}

INSTANTIATE_TEST_SUITE_P(Installation, EveryChange, ::testing::Range(1, kChanges + 1));

using RollbackTest = InstallFixture;

TEST_F(RollbackTest, EveryKindGoesHomeAndOneFailedCopyDoesNotStopTheOthers)
{
    const AppState& s = state();
    const std::pair<QString, QString> homes[]{{s.installFolder, QStringLiteral("Knjigovodstvo.exe")},
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
    EXPECT_EQ(tool.calls(), StandInRegSvr32::unregisteredThenRegistered(s.installFolder +
                                                                        QStringLiteral("TarvinoGrid.ocx")));

    // The failed copy: its lines, then its critical box.
    const QString failed = QStringLiteral("Nastala je greška u kopiranju nazad programa: Plaće.exe");
    const qsizetype at = inst.journal().indexOf(QStringLiteral("PokušajVratitiSveNaPočetak - ") + failed);
    EXPECT_GE(at, 0);
    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_TRUE(inst.window.messages[0].text.startsWith(failed) && inst.window.messages[0].icon == Icon::Critical);
    EXPECT_TRUE(inst.window.messages[0].text.endsWith(
        QStringLiteral("Program ne može razriješiti problem pa ćete morati reinstalirati program!")));
    EXPECT_GT(window.journalAtBox.value(0), at + 1);
}

using RegistrationTest = InstallFixture;

TEST_F(RegistrationTest, ToolGetsTheQuotedFullPathIsWaitedForThirtySecondsAtMostAndMissingFails)
{
    const QString folder = state().installFolder + QStringLiteral("Moje komponente") + separator();
    const QString name = QStringLiteral("Tarvino Grid.ocx");
    // The component does not exist: the tool is started all the same.
    EXPECT_TRUE(Deregistriraj(ctx, folder, name));
    EXPECT_TRUE(Registriraj(ctx, folder, name));
    // Both calls had ended when the operations returned: the tool is waited for.
    EXPECT_EQ(tool.calls(), StandInRegSvr32::unregisteredThenRegistered(folder + name));

    tool.hold();
    inst.window.eventRounds = 0;
    // Each round of the wait lets the window work; here a second passes with it.
    inst.window.onProcessEvents = [this] { inst.platform.fakeClock.advance(std::chrono::seconds(1)); };
    EXPECT_TRUE(Registriraj(ctx, folder, name));
    EXPECT_EQ(inst.window.eventRounds, 30);
    tool.release();

    tool.setExecutable(false);
    EXPECT_FALSE(Registriraj(ctx, folder, name));
    EXPECT_TRUE(inst.window.messages.empty());
}

using UpdateRunTest = InstallFixture;

TEST_F(UpdateRunTest, TrialUpdateTakesTheTrialChannelsSource)
{
    // Its network folder (missing here), whatever the regular channel says.
    AppState& s = state();
    s.trialRun = true;
    s.sources.regularOption = PrimaryServer;
    s.sources.trialOption = NetworkFolder;
    s.sources.folders[TrialFolderBox] = inst.root() + QStringLiteral("/nema") + separator();
    plan(QStringLiteral("Knjigovodstvo.exe"));

    EXPECT_FALSE(DownloadIUpdate(ctx));
    EXPECT_TRUE(inst.journal().value(0).startsWith(QStringLiteral("SnimitiSaMrežneLokacije - ")));
    EXPECT_TRUE(inst.window.questions.isEmpty());
}

} // namespace
} // namespace tarvino::test
