#include "install/Installation.h"

#include "FullDisk.h"
#include "InstallFixture.h"
#include "install/Registration.h"
#include "install/Rollback.h"
#include "install/UpdateRun.h"

#include <functional>
#include <sys/stat.h>

namespace tarvino::test {
namespace {

// Changes to the disk of one whole installation: the tables over them run past the last.
constexpr int kChanges = 90;
// Where every write breaks off while the disk is full.
constexpr rlim_t kFull = 64 * 1024;

/// A stand-in registration tool on PATH that records each call's arguments, bracketed, as a line.
/// With a ".once" file it goes missing after its first call; with a ".hold" file it runs until the file is
/// gone.
class StandInRegSvr32 {
public:
    explicit StandInRegSvr32(const QString& folder)
        : m_tool(folder + QStringLiteral("/RegSvr32.exe")),
          m_path("PATH", folder.toUtf8() + ':' + qgetenv("PATH"))
    {
        put(folder + QLatin1Char('/'), QStringLiteral("RegSvr32.exe"),
            QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> \"$0.calls\"; done\n"
                           "echo >> \"$0.calls\"\nwhile [ -f \"$0.hold\" ]; do sleep 0.01; done\n"
                           "if [ -f \"$0.once\" ]; then chmod -x \"$0\"; fi\n")
                .toUtf8());
        setExecutable(true);
    }

    void setExecutable(bool yes) { ::chmod(QFile::encodeName(m_tool).constData(), yes ? 0755 : 0644); }
    void missingAfterOneCall() { QFile(m_tool + QStringLiteral(".once")).open(QIODevice::WriteOnly); }
    void hold(bool yes)
    {
        QFile hold(m_tool + QStringLiteral(".hold"));
        yes ? hold.open(QIODevice::WriteOnly) : hold.remove();
    }
    QStringList calls() const
    {
        QFile record(m_tool + QStringLiteral(".calls"));
        record.open(QIODevice::ReadOnly);
        return QString::fromUtf8(record.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString m_tool;
    ScopedEnv m_path;
};

/// A release of a program, a component, a script, a help file and a new program, the old
/// files at home and the new ones in the Update folder; beside them rows of no kind it installs.
class InstallationTest : public InstallFixture {
public:
    InstallationTest()
    {
        const AppState& s = state();
        homes = {{QStringLiteral("Knjigovodstvo.exe"), s.installFolder},
                 {QStringLiteral("TarvinoGrid.ocx"), s.installFolder},
                 {QStringLiteral("Izmjena01.enc"), s.scriptsFolder},
                 {QStringLiteral("Tarvino.chm"), s.helpFolder},
                 {QStringLiteral("Novi.exe"), s.installFolder}};
        for (const auto& [name, home] : homes) {
            if (name != QStringLiteral("Novi.exe"))
                put(home, name, "old " + name.toUtf8());
            put(s.updateFolder, name, "new " + name.toUtf8());
            plan(name);
        }
        // Kinds are told apart case-sensitively: "EXE" is no program; an empty name is no file.
        put(s.updateFolder, QStringLiteral("VELIKA.EXE"), "capitals");
        plan(QStringLiteral("VELIKA.EXE"));
        plan(QString());
        put(s.installFolder, kManifestFile, "installed manifest");
        put(s.updateFolder, kManifestFile, "new manifest");
        put(outside.path() + QLatin1Char('/'), QStringLiteral("Sistem.dll"), "original");
        hooks.pripremiVerzijaTXT = [this](Context&) { return ++checks > 0; };
    }

    bool run() { return UpdatePrograma(ctx, hooks); }
    /// Whether every item at home is its file of that age (a new item absent when old), whole.
    bool all(const QByteArray& age)
    {
        return std::all_of(homes.begin(), homes.end(), [&](const auto& item) {
            const auto now = get(item.second, item.first);
            return age == "old" && item.first == QStringLiteral("Novi.exe")
                       ? !now
                       : now == age + ' ' + item.first.toUtf8();
        });
    }
    bool manifestIsNew() { return get(state().installFolder, kManifestFile) == QByteArray("new manifest"); }
    bool recorded() { return QFile::exists(state().installFolder + kInstallationRecord); }
    /// The program is in use at its first move, and at every move with `occurrence` 0; the operator answers.
    void inUse(int occurrence, Answer answer = Answer::Yes, std::optional<platform::Outcome> retried = {})
    {
        inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe", occurrence);
        if (retried) // counts only the calls that the first fault let through
            inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe", 1, *retried);
        inst.window.answer({answer});
    }
    /// Puts a new file four times the size a write can reach into the Update folder, then fills the disk.
    void fillDisk(const QString& name)
    {
        put(state().updateFolder, name, QByteArray(4 * kFull, 'n'));
        fullDisk.emplace(kFull);
    }
    /// Plants a link in place of a file or a folder.
    void link(const QString& target, const QString& path) { QFile::link(target, QDir::cleanPath(path)); }

    StandInRegSvr32 tool{inst.root() + QStringLiteral("/bin")};
    std::vector<std::pair<QString, QString>> homes;
    InstallationHooks hooks;
    int checks = 0;
    /// Someone else's folder, where planted links point.
    QTemporaryDir outside;
    std::optional<FullDisk> fullDisk;
};

/// Something in one installation's way.
struct Case {
    const char* name;
    std::function<void(InstallationTest&)> arrange;
    bool installed = false;
    /// Only the manifest failed: the new files stay under the old manifest.
    bool keepsNew = false;
    /// The first question, or else the first box, holds it.
    QString box;
};

const QString kInUse = QStringLiteral("premještanju programa: Knjigovodstvo.exeNajvjerojatnije se koristi.");
const QString kLinked = QStringLiteral(" je link (poveznica) na drugo mjesto");

// clang-format off
const Case kCases[] = {
    {.name = "ProgramInUseAnsweredYesAndFreed", .arrange = [](auto& t) { t.inUse(1); }, .installed = true,
     .box = kInUse},
    {.name = "ProgramInUseAnsweredNo", .arrange = [](auto& t) { t.inUse(1, Answer::No); }, .box = kInUse},
    {.name = "ProgramStillInUse", .arrange = [](auto& t) { t.inUse(0); }, .box = kInUse},
    // The retried move says the program is gone: it is still no new item to copy over the old one.
    {.name = "ProgramInUseThenSaidAbsent",
     .arrange = [](auto& t) { t.inUse(1, Answer::Yes, platform::Outcome::absent(2, {})); },
     .box = kInUse},
    {.name = "ComponentUnregistering", .arrange = [](auto& t) { t.tool.setExecutable(false); },
     .box = QStringLiteral("Desila se greška u deregistraciji komponente: TarvinoGrid.ocx")},
    {.name = "ComponentRegistering", .arrange = [](auto& t) { t.tool.missingAfterOneCall(); },
     .box = QStringLiteral("Desila se greška u registraciji nove komponente: TarvinoGrid.ocx")},
    // The rollback has no old file to copy over what the copy left.
    {.name = "CutShortCopyOfANewProgram", .arrange = [](auto& t) { t.fillDisk(QStringLiteral("Novi.exe")); },
     .box = QStringLiteral("kopiranju novog programa: Novi.exe")},
    {.name = "ManifestOnAFullDisk", .arrange = [](auto& t) { t.fillDisk(kManifestFile); }, .keepsNew = true,
     .box = QStringLiteral("Novi programi su kopirani, ali Verzije.txt nije zamijenjena novom")},
    {.name = "BuildComputer", .arrange = [](auto& t) { t.inst.platform.fakeSystem.name = "TROVA-DVD"; },
     .box = QStringLiteral("Ime računala je TROVA-DVD te nije moguće nastaviti sa radom!")},
    {.name = "BuildComputerNameInOtherCase",
     .arrange = [](auto& t) { t.inst.platform.fakeSystem.name = "trova-dvd"; }, .installed = true},
    // Old files that stay in the backup folder would be copied over the installation by a rollback.
    {.name = "BackupFolderNotEmptied",
     .arrange =
         [](auto& t) {
             put(t.state().backupFolder, QStringLiteral("Knjigovodstvo.exe"), "a release before the last");
             t.inst.platform.faultyFiles.fail(FileOp::DeleteMatching, "UpdateBackup");
         },
     .box = QStringLiteral("Nije moguće isprazniti UpdateBackup direktoriju")},
    {.name = "TooLittleFreeSpace",
     .arrange =
         [](auto& t) {
             t.state().plan.at(0, 5) = Cell(QStringLiteral("300000000"));
             t.inst.platform.faultyFiles.freeBytes = 300000000;
         },
     .box = QStringLiteral("nema dovoljno slobodnog prostora")},
    {.name = "LinkedBackupFolder", .arrange = [](auto& t) { t.link(t.outside.path(), t.state().backupFolder); },
     .box = kLinked},
    {.name = "LinkedScriptsFolder",
     .arrange =
         [](auto& t) {
             QDir().rename(QDir::cleanPath(t.state().scriptsFolder), t.outside.path() + QStringLiteral("/moved"));
             t.link(t.outside.path() + QStringLiteral("/moved"), t.state().scriptsFolder);
         },
     .box = kLinked},
    {.name = "LinkedNewItem",
     .arrange =
         [](auto& t) {
             t.link(t.outside.path() + QStringLiteral("/Sistem.dll"),
                    t.state().installFolder + QStringLiteral("Novi.exe"));
         },
     .installed = true},
};
// clang-format on

class InstallationCase : public InstallationTest, public ::testing::WithParamInterface<Case> {};

TEST_P(InstallationCase, InstallsOrLeavesEveryOriginalAsItWas)
{
    const Case& c = GetParam();
    c.arrange(*this);

    EXPECT_EQ(run(), c.installed);
    fullDisk.reset();
    EXPECT_TRUE(all(c.installed || c.keepsNew ? "new" : "old"));
    EXPECT_EQ(manifestIsNew(), c.installed);
    EXPECT_EQ(checks, c.installed ? 1 : 0);
    // No half-copied manifest, no record of a running installation, no file of no kind.
    const QStringList left = {QStringLiteral("Verzije*"), kInstallationRecord, QStringLiteral("VELIKA*")};
    EXPECT_EQ(QDir(state().installFolder).entryList(left, QDir::Files), QStringList{kManifestFile});
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("Sistem.dll")});
    EXPECT_EQ(get(outside.path() + QLatin1Char('/'), QStringLiteral("Sistem.dll")), QByteArray("original"));
    const QString first = inst.window.questions.value(0, inst.window.messageTexts().value(0));
    EXPECT_TRUE(first.contains(c.box)) << first.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Installation, InstallationCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

/// A failure, or a kill, at each change to the disk an installation makes, past the last.
class EveryChange : public InstallationTest, public ::testing::WithParamInterface<int> {};

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
    // The component is never left unregistered: no unregistering is the last call.
    EXPECT_FALSE(tool.calls().join(QLatin1Char('|')).endsWith(QStringLiteral("[/u][/s]")));
    // The range runs past the last change: its end installs.
    EXPECT_TRUE(installed || GetParam() < kChanges);
    // Only a failure to replace the manifest leaves the new files, under the old manifest.
    EXPECT_TRUE(installed ? all("new") && manifestIsNew() : !manifestIsNew() && (all("old") || all("new")));
    if (!installed && recorded()) {
        EXPECT_TRUE(recoverInterruptedInstallation(ctx));
        EXPECT_TRUE(all("old"));
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
        EXPECT_TRUE(all("old") && !manifestIsNew());
        EXPECT_TRUE(inst.window.messageTexts().last().startsWith(
            QStringLiteral("Prethodna instalacija novih verzija je prekinuta prije kraja.")));
    } else {
        // Killed before the first move or after the installation had ended: new files
        // under the old manifest are planned again.
        EXPECT_TRUE(all("old") || all("new"));
        EXPECT_TRUE(!(manifestIsNew() || installed) || all("new"));
    }
}

INSTANTIATE_TEST_SUITE_P(Installation, EveryChange, ::testing::Range(1, kChanges + 1));

TEST_F(InstallationTest, RollbackCopiesEveryKindHomePastAFailedCopy)
{
    const AppState& s = state();
    homes.pop_back(); // the new program has no old file to come back
    for (const auto& [name, home] : homes) {
        put(s.backupFolder, name, "old " + name.toUtf8());
        put(home, name, "new " + name.toUtf8());
    }
    put(s.backupFolder, QStringLiteral("Plaće.exe"), "old payroll");
    inst.platform.faultyFiles.fail(FileOp::Copy, "Plaće.exe");

    EXPECT_FALSE(PokušajVratitiSveNaPočetak(ctx));

    EXPECT_TRUE(all("old"));
    // It copies and never moves: the operator still finds every old file.
    EXPECT_EQ(QDir(s.backupFolder).entryList(QDir::Files).size(), 5);
    EXPECT_EQ(inst.window.messages.size(), 1u);
}

TEST_F(InstallationTest, RegistrationGetsTheFullPathAsOneArgumentAndIsWaitedForThirtySecondsAtMost)
{
    const QString folder = state().installFolder + QStringLiteral("Moje komponente") + separator();
    const QString name = QStringLiteral("Tarvino Grid.ocx");
    tool.hold(true);
    // Each round of the wait lets the window work; here a second passes with it.
    inst.window.onProcessEvents = [this] { inst.platform.fakeClock.advance(std::chrono::seconds(1)); };
    EXPECT_TRUE(Deregistriraj(ctx, folder, name));
    EXPECT_EQ(inst.window.eventRounds, 30);
    tool.hold(false);
    EXPECT_TRUE(Registriraj(ctx, folder, name));
    // The tool is waited for: its record is complete when the operation returns.
    EXPECT_EQ(tool.calls(), QStringList({QStringLiteral("[%1][/u][/s]").arg(folder + name),
                                         QStringLiteral("[%1][/s]").arg(folder + name)}));

    tool.setExecutable(false);
    EXPECT_FALSE(Registriraj(ctx, folder, name));
    EXPECT_TRUE(inst.window.messages.empty());
}

TEST_F(InstallationTest, TrialUpdateTakesTheTrialChannelsSource)
{
    // Its network folder (missing here), whatever the regular channel says.
    AppState& s = state();
    s.trialRun = true;
    s.sources.regularOption = PrimaryServer;
    s.sources.trialOption = NetworkFolder;
    s.sources.folders[TrialFolderBox] = inst.root() + QStringLiteral("/nema") + separator();

    EXPECT_FALSE(DownloadIUpdate(ctx));
    EXPECT_TRUE(inst.journal().value(0).startsWith(QStringLiteral("SnimitiSaMrežneLokacije - ")));
    EXPECT_TRUE(all("old"));
}

} // namespace
} // namespace tarvino::test
