#include "install/Installation.h"

#include "FullDisk.h"
#include "InstallFixture.h"
#include "TestInstallation.h"
#include "install/Registration.h"
#include "install/Rollback.h"
#include "plan/FolderLayout.h"

#include <functional>
#include <gtest/gtest.h>

namespace tarvino::test {
namespace {

// Changes to the disk of one whole installation: the tables over them run past the last.
constexpr int kChanges = 91;
constexpr rlim_t kFull = 64 * 1024;

/// A release of every kind, old files at home, new ones in the Update folder, rows of no kind beside them;
/// no display, so no window counts as an open suite program. The registration tool on PATH records each
/// call's arguments as a line, is gone after one call while ".once" exists and runs while ".hold" exists.
class InstallationTest : public ::testing::Test {
public:
    InstallationTest()
    {
        AppState& s = inst.state;
        IzvediDirektorije(ctx);
        homes = {{QStringLiteral("Knjigovodstvo.exe"), s.installFolder},
                 {QStringLiteral("Tarvino Grid.ocx"), s.installFolder},
                 {QStringLiteral("Izmjena01.enc"), s.scriptsFolder},
                 {QStringLiteral("Tarvino.chm"), s.helpFolder},
                 {QStringLiteral("Novi.exe"), s.installFolder}};
        int rows = 0;
        const auto plan = [&](const QString& name) {
            s.plan.at(rows, 0) = Cell(name);
            s.plan.at(rows++, 6) = Cell(std::int64_t(1));
        };
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
        put(inst.root() + QStringLiteral("/bin/"), QStringLiteral("RegSvr32.exe"),
            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\" >> \"$0.calls\"; done\n"
            "echo >> \"$0.calls\"\nwhile [ -f \"$0.hold\" ]; do sleep 0.01; done\n"
            "if [ -f \"$0.once\" ]; then rm \"$0\"; fi\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner);
        hooks.pripremiVerzijaTXT = [](Context&) { return true; };
        put(outside.path() + QLatin1Char('/'), QStringLiteral("Sistem.dll"), "original");
    }

    bool run()
    {
        try {
            return UpdatePrograma(ctx, hooks);
        } catch (const Abandoned&) {
        } catch (const ProgramEnded&) {
        }
        return false;
    }
    /// The program is in use at its first move; the operator answers.
    void inUse(Answer answer, std::optional<platform::Outcome> retried = {})
    {
        inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe");
        if (retried) // counts only the calls that the first fault let through
            inst.platform.faultyFiles.fail(FileOp::Move, "Knjigovodstvo.exe", 1, *retried);
        inst.window.answer({answer});
    }
    void fillDisk(const QString& name)
    {
        put(inst.state.updateFolder, name, QByteArray(4 * kFull, 'n'));
        fullDisk.emplace(kFull);
    }

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
    bool manifestIsNew() { return get(inst.state.installFolder, kManifestFile) == "new manifest"; }
    QStringList toolCalls() const
    {
        return QString::fromUtf8(get(tool, QStringLiteral(".calls")).value_or(QByteArray()))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    ScopedEnv noDisplay{"DISPLAY", std::nullopt};
    TestInstallation inst;
    Context& ctx = inst.ctx;
    std::vector<std::pair<QString, QString>> homes;
    InstallationHooks hooks;
    const QString tool = inst.root() + QStringLiteral("/bin/RegSvr32.exe");
    QTemporaryDir outside;
    std::optional<FullDisk> fullDisk;
    ScopedEnv toolOnPath{"PATH", inst.root().toUtf8() + "/bin:" + qgetenv("PATH")};
};

struct Case {
    const char* name;
    std::function<void(InstallationTest&)> arrange;
    bool installed = false;
    /// Only the manifest failed: the new files stay under the old manifest.
    bool keepsNew = false;
};

// clang-format off
const Case kCases[] = {
    {.name = "ProgramInUseAndFreed", .arrange = [](auto& t) { t.inUse(Answer::Yes); }, .installed = true},
    {.name = "ProgramInUseAnsweredNo", .arrange = [](auto& t) { t.inUse(Answer::No); }},
    // The retried move says the program is gone: it is still no new item to copy over the old one.
    {.name = "ProgramInUseThenSaidAbsent",
     .arrange = [](auto& t) { t.inUse(Answer::Yes, platform::Outcome::absent(2, {})); }},
    {.name = "ComponentUnregistering", .arrange = [](auto& t) { QFile::remove(t.tool); }},
    {.name = "ComponentRegistering", .arrange = [](auto& t) { put(t.tool, QStringLiteral(".once"), {}); }},
    // The rollback has no old file to copy over what the copy left.
    {.name = "CutShortCopyOfANewProgram", .arrange = [](auto& t) { t.fillDisk(QStringLiteral("Novi.exe")); }},
    {.name = "ManifestOnAFullDisk", .arrange = [](auto& t) { t.fillDisk(kManifestFile); }, .keepsNew = true},
    {.name = "BuildComputer", .arrange = [](auto& t) { t.inst.platform.fakeSystem.name = "TROVA-DVD"; }},
    // Old files that stay in the backup folder would be copied over the installation by a rollback.
    {.name = "BackupFolderNotEmptied",
     .arrange = [](auto& t) {
         put(t.inst.state.backupFolder, QStringLiteral("Knjigovodstvo.exe"), "a release before the last");
         t.inst.platform.faultyFiles.fail(FileOp::DeleteMatching, "UpdateBackup");
     }},
    {.name = "TooLittleFreeSpace",
     .arrange = [](auto& t) {
         t.inst.state.plan.at(0, 5) = Cell(QStringLiteral("300000000"));
         t.inst.platform.faultyFiles.freeBytes = 300000000;
     }},
    {.name = "LinkedScriptsFolder",
     .arrange = [](auto& t) {
         QDir().rename(QDir::cleanPath(t.inst.state.scriptsFolder), t.outside.path() + QStringLiteral("/moved"));
         QFile::link(t.outside.path() + QStringLiteral("/moved"), QDir::cleanPath(t.inst.state.scriptsFolder));
     }},
    {.name = "LinkedNewItem",
     .arrange = [](auto& t) {
         QFile::link(t.outside.path() + QStringLiteral("/Sistem.dll"),
                     t.inst.state.installFolder + QStringLiteral("Novi.exe"));
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
    EXPECT_TRUE(all(c.installed || c.keepsNew ? "new" : "old"));
    EXPECT_EQ(manifestIsNew(), c.installed);
    // The tool gets the component's full path as one argument.
    const QString component = inst.state.installFolder + QStringLiteral("Tarvino Grid.ocx");
    EXPECT_TRUE(!c.installed || toolCalls() == QStringList({QStringLiteral("[%1][/u][/s]").arg(component),
                                                            QStringLiteral("[%1][/s]").arg(component)}));
    // No half-copied manifest, no record of a running installation, no file of no kind.
    const QStringList left = {QStringLiteral("Verzije*"), kInstallationRecord, QStringLiteral("VELIKA*")};
    EXPECT_EQ(QDir(inst.state.installFolder).entryList(left, QDir::Files), QStringList{kManifestFile});
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("Sistem.dll")});
    EXPECT_EQ(get(outside.path() + QLatin1Char('/'), QStringLiteral("Sistem.dll")), QByteArray("original"));
}

INSTANTIATE_TEST_SUITE_P(Installation, InstallationCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class EveryChange : public InstallationTest, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(EveryChange, LeavesEveryOriginalAtHomeOrTheRunSucceeded)
{
    const auto [change, kill] = GetParam();
    inst.platform.faultyFiles.failChange(change, kill);
    inst.window.answer({Answer::No});

    const bool installed = run();
    inst.platform.faultyFiles.clearFaults();
    // A failure puts the originals back at once (or the new under the old manifest); a kill leaves a record.
    EXPECT_TRUE(kill ||
                (installed ? all("new") && manifestIsNew() : !manifestIsNew() && (all("old") || all("new"))));
    const bool interrupted = inst.exists(kInstallationRecord);
    EXPECT_TRUE(recoverInterruptedInstallation(ctx));
    EXPECT_FALSE(inst.exists(kInstallationRecord));
    // Nor a failure nor a kill leaves the component unregistered: no unregistering is the last call.
    EXPECT_FALSE(toolCalls().join(QLatin1Char('|')).endsWith(QStringLiteral("[/u][/s]")));
    EXPECT_TRUE(interrupted       ? all("old") && !manifestIsNew()
                : manifestIsNew() ? all("new")
                                  : all("old") || all("new"));
}

INSTANTIATE_TEST_SUITE_P(Installation, EveryChange,
                         ::testing::Combine(::testing::Range(1, kChanges + 1), ::testing::Bool()));

TEST_F(InstallationTest, RollbackCopiesEveryKindHomePastAFailedCopy)
{
    homes.pop_back(); // the new program has no old file to come back
    for (const auto& [name, home] : homes) {
        put(inst.state.backupFolder, name, "old " + name.toUtf8());
        put(home, name, "new " + name.toUtf8());
    }
    put(inst.state.backupFolder, QStringLiteral("Plaće.exe"), "old payroll");
    inst.platform.faultyFiles.fail(FileOp::Copy, "Plaće.exe");

    EXPECT_FALSE(PokušajVratitiSveNaPočetak(ctx));
    EXPECT_TRUE(all("old"));
    // It copies and never moves: the operator still finds every old file.
    EXPECT_EQ(QDir(inst.state.backupFolder).entryList(QDir::Files).size(), 5);
}

TEST_F(InstallationTest, RegistrationIsWaitedForThirtySecondsAtMost)
{
    put(tool, QStringLiteral(".hold"), {});
    // Each round of the wait lets the window work; here a second passes with it.
    inst.window.onProcessEvents = [this] { inst.platform.fakeClock.sleep(std::chrono::seconds(1)); };
    EXPECT_TRUE(Deregistriraj(ctx, inst.state.installFolder, QStringLiteral("Tarvino Grid.ocx")));
    EXPECT_EQ(inst.window.eventRounds, 30);
}

} // namespace
} // namespace tarvino::test
