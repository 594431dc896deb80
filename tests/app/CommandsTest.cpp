#include "app/Commands.h"

#include "InstallFixture.h"
#include "ServedInstallation.h"
#include "XvfbDesktop.h"
#include "app/Dialogs.h"
#include "app/Unattended.h"
#include "app/frmLiveUpdate.h"
#include "core/Settings.h"
#include "install/Rollback.h"
#include "install/UpdateRun.h"
#include "plan/ExclusiveRun.h"

#include <QtWidgets>
#include <gtest/gtest.h>
#include <sstream>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

namespace {

/// One program installed and a newer one on the server the settings select; distributions go to the network.
struct Workstation : ::testing::Test, OwnConfigHome, ServedInstallation {
    Workstation()
    {
        inst.write(u"Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");
        inst.write(u"Racuni.exe"_s, "program");
        inst.write(u"TeamViewerQS.exe"_s, "support");
        set(key::PrimaryServer, server.hostAndPort());
        set(key::UseChilkat, u"false"_s);
        rows = {{.name = u"Racuni.exe"_s, .content = "new program", .minor = 1, .revision = 5}};
        publish();
        inst.state.sources.folders[DistributionFolderBox] = network();
    }

    void set(const QString& name, const QString& value) { inst.settings->write(key::Settings, name, value); }

    /// One run of the program from the command line (arguments split at spaces), in-process; its exit status.
    int run(const char* arguments, bool terminal = false, const std::string& typed = {})
    {
        output.str({});
        std::istringstream in(typed);
        try {
            return runUnattended(QString::fromUtf8(arguments).split(u' ', Qt::SkipEmptyParts), inst.platform,
                                 *inst.settings, {output, output, in, terminal});
        } catch (const ProgramEnded& ended) {
            return ended.exitCode;
        }
    }

    /// Distributions started so far: only a distribution fetches VerzijeU.txt.
    qsizetype distributions() const { return server.requests.count(url(u"VerzijeU.txt"_s)); }
    void at(int hour, int minute) { inst.platform.fakeClock.setTime({2026, 12, 7, hour, minute, 30, 0}); }

    /// Both output streams of the last run.
    std::ostringstream output;
};

/// The window on the workstation; the operator answers every question No and chooses the one file given.
struct Window : Workstation, Dialogs {
    std::optional<QString> file;

    void message(QWidget*, const QString&, Icon, const QString&) override {}
    Answer question(QWidget*, const QString&) override { return Answer::No; }
    void notice(QWidget*, const QString&) override {}
    std::optional<QString> openFile(QWidget*, const FileDialogRequest&) override
    {
        return std::exchange(file, std::nullopt);
    }
};

} // namespace

TEST_F(Workstation, EachRunEndsWithTheStatusOfWhatHappenedAndNoneInstallsWithoutAYes)
{
    struct Case {
        const char* arguments;
        int status;
        QByteArray served = {}; // none: as published
        int httpStatus = 200;
    };
    const QByteArray installed = inst.read(u"Verzije.txt"_s);
    const Case cases[] = {
        {.arguments = "--nepoznat", .status = ExitWrongArguments},
        {.arguments = "--provjera --azuriranje", .status = ExitWrongArguments},
        {.arguments = "--azuriranje --da --ne", .status = ExitWrongArguments},
        {.arguments = "--provjera", .status = ExitDone},
        {.arguments = "--azuriranje --ne", .status = ExitFailed},
        // No terminal to ask at: the answer is No.
        {.arguments = "--azuriranje", .status = ExitFailed},
        {.arguments = "--azuriranje --da", .status = ExitFailed, .httpStatus = 404},
        {.arguments = "--provjera", .status = ExitNothingNew, .served = installed},
        {.arguments = "--azuriranje --da", .status = ExitNothingNew, .served = installed},
        {.arguments = "--azuriranje --da", .status = ExitFailed, .served = "A.7z\" -o. -x!B;1;0;0;1;1;\r\n"},
    };
    const QByteArray published = server.answers[url(u"Verzije.txt"_s)].body;
    for (const Case& c : cases) {
        server.answers[url(u"Verzije.txt"_s)] = {.status = c.httpStatus,
                                                 .body = c.served.isEmpty() ? published : c.served};
        EXPECT_EQ(run(c.arguments), c.status) << c.arguments << output.str();
        EXPECT_EQ(inst.read(u"Racuni.exe"_s), QByteArray("program"));
        // Wrong arguments (the first rows) start nothing.
        EXPECT_TRUE(c.status != ExitWrongArguments || !inst.exists(u"Update/Update.log"_s));
    }
}

TEST_F(Workstation, AnUpdateThatCannotGoOnEndsAsFailedAndATerminalAnswerInstalls)
{
    // A backup folder that cannot be made ends the program, which a scheduler must not take as done.
    inst.platform.faultyFiles.fail(FileOp::CreateFolder, "UpdateBackup");
    EXPECT_EQ(run("--azuriranje --da"), ExitFailed);
    inst.platform.faultyFiles.clearFaults();
    // "Yes" to the guard means "check again": with a suite program left open it would never end.
    XvfbDesktop desktop;
    std::string noDisplay;
    if (desktop.open(noDisplay)) {
        const auto suite = desktop.open("TarvinoMain", "Plaće 23");
        EXPECT_EQ(run("--azuriranje --da"), ExitFailed);
        desktop.close(suite);
    }
    EXPECT_EQ(inst.read(u"Racuni.exe"_s), QByteArray("program"));

    // At a terminal the operator answers; an answer that is neither is asked again.
    EXPECT_EQ(run("--azuriranje", /*terminal=*/true, "možda\nda\n"), ExitDone) << output.str();
    EXPECT_EQ(QString::fromStdString(output.str()).count(u"Odgovor (da/ne): "_s), 2);
    EXPECT_EQ(inst.read(u"Racuni.exe"_s), rows[0].content);
    EXPECT_EQ(inst.platform.registry().readDword(native(kMagnificationNumerator)), 12u);
}

TEST_F(Workstation, AKilledRunIsPutBackAndAnotherRunHoldingTheInstallationStopsEveryOperation)
{
    // A run killed mid-copy left its record: the next start puts the old program back.
    inst.write(u"UpdateBackup/Racuni.exe"_s, "program");
    inst.write(u"Racuni.exe"_s, "half a new");
    inst.write(kInstallationRecord, "Racuni.exe\n");
    run("--provjera");
    EXPECT_EQ(inst.read(u"Racuni.exe"_s), QByteArray("program"));
    EXPECT_FALSE(inst.exists(kInstallationRecord));

    const platform::LockAttempt other = inst.platform.files().lockFile(native(inst.folder() + kLockFile));
    server.requests.clear();
    for (const char* command :
         {"--provjera", "--azuriranje --da", "--probno-azuriranje --da", "--distribucija --da"})
        EXPECT_EQ(run(command), ExitBusy) << command;
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(Workstation, DistributionStartsOnFullHoursOfTheStepOnceAfterAnUpdateItFellDueIn)
{
    const struct {
        int step, hour, minute;
    } offHours[] = {
        {.step = 0, .hour = 0, .minute = 0},
        {.step = 5, .hour = 10, .minute = 1},
        {.step = 5, .hour = 12, .minute = 0},
    };
    for (const auto& c : offHours) {
        inst.state.sources.hourStep = c.step;
        at(c.hour, c.minute);
        tmrUpdate_Timer(inst.ctx);
        EXPECT_EQ(distributions(), 0) << c.step << ' ' << c.hour << ':' << c.minute;
    }

    server.serve(url(u"Verzije.txt"_s), inst.read(u"Verzije.txt"_s));
    inst.state.sources.hourStep = 6;
    inst.state.trialRun = true;
    at(6, 0);
    // tmrUpdate's ticks arrive through the event loop the fetch keeps running.
    QTimer tick;
    tick.callOnTimeout([&] { tmrUpdate_Timer(inst.ctx); });
    tick.start(0);

    cmdDownloadAndUpdate_Click(inst.ctx);
    EXPECT_EQ(distributions(), 0);
    // Nothing new: the update stops before its run, on the regular channel.
    EXPECT_TRUE(inst.state.distributionPending && !inst.state.trialRun && !inst.state.operationRunning);
    EXPECT_FALSE(inst.journal().contains(u"********************* KRAJ UPDATE"_s));

    tick.stop();
    runPendingDistribution(inst.ctx);
    runPendingDistribution(inst.ctx);
    EXPECT_EQ(distributions(), 1);
}

TEST_F(Window, ARememberedSourceIsCheckedUnsavedAChosenFolderSavedAndACheckHoldsTheCommands)
{
    secondary.serve(url(u"Verzije.txt"_s), "Racuni.exe;23;1;5;110;210;\r\n");
    set(key::RegularOption, QString::number(SecondaryServer));
    set(key::SecondaryServer, secondary.hostAndPort());
    frmLiveUpdate window(inst.platform, *inst.settings, *this);
    window.Form_Load();
    window.show();
    EXPECT_EQ(inst.read(u"Update/Verzije.txt"_s), QByteArray("Racuni.exe;23;1;5;110;210;\r\n"));
    // The source clicked at start-up is not saved; only the hour step, written on every change, is.
    EXPECT_EQ(QSettings(inst.settings->location(), QSettings::IniFormat).allKeys(),
              QStringList({u"Setting/VrijemeAutoDownloadaNovihVerz"_s, u"Settings/KoristiChilkatZaDownload"_s,
                           u"Settings/PrimarniServer23"_s, u"Settings/SekundarniServer23"_s,
                           u"Settings/UpdateLok23N"_s}));
    // An empty folder box left offers the chooser; the folder chosen is saved.
    const QString chosen = QDir::toNativeSeparators(inst.root() + u"/dijeljeno/"_s);
    file = chosen + u"Verzije.txt"_s;
    Q_EMIT window.txtLokacija[0]->textEdited({});
    QFocusEvent focusOut(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(window.txtLokacija[0], &focusOut);
    EXPECT_EQ(inst.settings->read(key::Settings, key::RegularFolder), chosen);

    // While a check runs the commands are held and the close box waits for it.
    QTimer probe;
    probe.callOnTimeout([&] {
        EXPECT_FALSE(window.cmdDownloadAndUpdate->isEnabled() || window.cmdDownlNaLokaciju->isEnabled() ||
                     window.fraLokacija->isEnabled());
        window.close();
        EXPECT_TRUE(window.isVisible());
    });
    probe.start(0);
    window.cmdVerzija->click();
    EXPECT_FALSE(window.isVisible());
    // The first row is the total, beyond an int.
    window.showPlan({{u"Pomoć.chm"_s, "23", "0", "0", "3000000000", "1"}});
    EXPECT_EQ(window.fgAžuriranja->item(0, 5)->text(), u"3,000,000,000"_s);

    ASSERT_TRUE(loadQtTranslation());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), u"&Da"_s);
}
