#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "app/Dialogs.h"
#include "app/Version.h"
#include "app/frmLiveUpdate.h"
#include "core/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <utility>

using namespace tarvino;
using namespace tarvino::test;

namespace {

/// The operator: records the boxes, answers every question No and chooses the one file it was given.
class ScriptedDialogs final : public Dialogs {
public:
    void message(QWidget*, const QString& text, Icon, const QString&) override { messages << text; }
    Answer question(QWidget*, const QString&) override { return Answer::No; }
    void notice(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> openFile(QWidget*, const FileDialogRequest&) override
    {
        return std::exchange(file, std::nullopt);
    }

    QStringList messages;
    std::optional<QString> file;
};

struct WindowFixture : ::testing::Test {
    TestInstallation inst;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmLiveUpdate> window;

    void open()
    {
        window = std::make_unique<frmLiveUpdate>(inst.platform, *inst.settings, dialogs);
        window->Form_Load();
    }
};

} // namespace

TEST_F(WindowFixture, StartUpSetsCaptionTabColourAndRemovesTheProbeFolder)
{
    inst.write(QStringLiteral("UpdateADM/ostatak.txt"), "x");
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("BojaVelmora23"), QStringLiteral("255"));
    // The design source (the primary server) is not checked at start-up.
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");

    open();

    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Tarvino Live Update - Automatsko ažuriranje Tarvino programa V") +
                  QStringLiteral("%1.%2.%3").arg(version::Major).arg(version::Minor).arg(version::Revision));
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    EXPECT_FALSE(inst.exists(QStringLiteral("UpdateADM")));
    EXPECT_FALSE(inst.exists(QStringLiteral("Update/Verzije.txt")));
    // Red in the low byte; the trial frame keeps its own colour.
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(window->fgAžuriranja->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_NE(window->fraLokacijaProbno->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(window->tmrUpdate->isActive());
    EXPECT_TRUE(inst.journal().isEmpty() && dialogs.messages.isEmpty());
}

TEST_F(WindowFixture, NoSettingIsSavedWhileStartingUp)
{
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QStringLiteral("0"));
    open();
    EXPECT_TRUE(window->optLokacija[0]->isChecked());
    // Only the hour step, which is written back on every change, joins the stored key.
    EXPECT_EQ(QSettings(inst.settings->location(), QSettings::IniFormat).allKeys(),
              QStringList({QStringLiteral("Setting/VrijemeAutoDownloadaNovihVerz"),
                           QStringLiteral("Settings/UpdateLok23N")}));
}

TEST_F(WindowFixture, FreshInstallationStartsWithTheDesignLookAndCloseBoxWritesTheClosingLine)
{
    open();
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(203, 218, 217));
    EXPECT_TRUE(window->optLokacija[2]->isChecked() && window->optLokacijaProbna[2]->isChecked());
    EXPECT_EQ(window->numVrijemeDownloada->maximum(), 23);

    window->close();
    EXPECT_EQ(inst.journal().value(inst.journal().size() - 1),
              QStringLiteral("*************************** KRAJ PROGRAMA **********************************"));

    // The exit button ends the program without it.
    TestInstallation other;
    frmLiveUpdate second(other.platform, *other.settings, dialogs);
    second.Form_Load();
    EXPECT_THROW(second.cmdIzlaz_Click(), ProgramEnded);
    EXPECT_TRUE(other.journal().isEmpty());
}

TEST_F(WindowFixture, ChangesAreSavedAsTheyAreMade)
{
    open();
    window->show();
    // An empty folder box left reports and offers the chooser; the folder of the chosen
    // file, with its separator, is taken.
    dialogs.file = QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno/Verzije.txt"));
    QLineEdit* box = window->txtLokacija[0];
    box->setFocus();
    QApplication::processEvents();
    box->selectAll();
    box->del(); // through the editor, as typing does
    Q_EMIT box->textEdited(box->text());
    window->cmdVerzija->setFocus();
    QApplication::processEvents();
    const QString chosen = QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno/"));
    EXPECT_EQ(dialogs.messages, QStringList({QStringLiteral("Ne postoji direktorija:  Postavite je!")}));
    EXPECT_EQ(box->text(), chosen);
    EXPECT_EQ(inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLokDir23")), chosen);

    // Only leaving the box for another control checks it (here a folder that is not
    // there): not another program's window taking the activation, nor the box's own menu.
    box->setText(QStringLiteral("nema"));
    Q_EMIT box->textEdited(box->text());
    QWidget otherProgram;
    otherProgram.show();
    QMenu menu;
    menu.addAction(QStringLiteral("Kopiraj"));
    struct Leaving {
        const char* how;
        std::function<void()> leave;
        bool checked;
    };
    const Leaving rows[] {
        {"another program's window activated", [&] { otherProgram.activateWindow(); }, false},
        {"the box's menu", [&] { menu.popup(box->mapToGlobal(QPoint())); }, false},
        {"the Tab key", [&] { window->cmdVerzija->setFocus(Qt::TabFocusReason); }, true},
    };
    for (const Leaving& row : rows) {
        window->activateWindow();
        box->setFocus();
        QApplication::processEvents();
        dialogs.messages.clear();
        row.leave();
        QApplication::processEvents();
        const QStringList expected {QStringLiteral("Ne postoji direktorija: nema Postavite je!")};
        EXPECT_EQ(dialogs.messages, row.checked ? expected : QStringList()) << row.how;
        menu.close();
    }

    window->optLokacijaProbna[0]->click();
    EXPECT_EQ(inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23NProbna")),
              QStringLiteral("0"));
}

TEST_F(WindowFixture, ProgressBarTakesMoreBytesThanAnIntHolds)
{
    open();
    window->showProgress(0, 5.0e9);
    window->setProgress(2.5e9);
    EXPECT_EQ(window->progBar->value(), window->progBar->maximum() / 2);
}

TEST_F(WindowFixture, RememberedNetworkSourceIsCheckedBeforeTheWindowIsShown)
{
    const QString share = QDir::toNativeSeparators(inst.path(QStringLiteral("dijeljeno/")));
    inst.write(QStringLiteral("dijeljeno/Verzije.txt"), "Racuni.exe;23;1;5;110;210;\r\n");
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");
    inst.write(QStringLiteral("Racuni.exe"), "program");
    inst.write(QStringLiteral("TeamViewerQS.exe"), "remote support");
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QStringLiteral("1"));
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLokDir23"), share);

    open();

    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(inst.read(QStringLiteral("Update/Verzije.txt")), QByteArray("Racuni.exe;23;1;5;110;210;\r\n"));
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);

    // The check button: a failure before the plan leaves the update button as it was;
    // nothing new any more turns it off.
    QFile::remove(share + QStringLiteral("Verzije.txt"));
    window->cmdVerzija->click();
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(dialogs.messages.size(), 1);
    inst.write(QStringLiteral("dijeljeno/Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");
    window->cmdVerzija->click();
    EXPECT_FALSE(window->cmdDownloadAndUpdate->isEnabled());

    // A source click keeps the tab shown.
    window->SSTab1->setCurrentIndex(2);
    window->optLokacija[NetworkFolder]->click();
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
    EXPECT_TRUE(window->state().manifestFailed);
}

TEST_F(WindowFixture, CommandsAndSourcesAreUnavailableAndTheCloseBoxWaitsWhileACheckRuns)
{
    TestHttpServer server;
    server.serve(QStringLiteral("/download/Verzija23/Verzije.txt"), "Racuni.exe;23;0;2;100;200;\r\n");
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;0;1;100;200;\r\n");
    inst.write(QStringLiteral("TeamViewerQS.exe"), "support");
    open();
    window->state().sources.primaryServer = server.hostAndPort();
    window->state().sources.useChilkat = false;

    window->show();
    int probes = 0;
    int available = 0;
    int closedEarly = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        ++probes;
        available += window->cmdVerzija->isEnabled() || window->cmdDownlNaLokaciju->isEnabled() ||
                     window->cmdProbnaAžuriranja->isEnabled() || window->cmdIzlaz->isEnabled() ||
                     window->fraLokacija->isEnabled() || window->fraLokacijaProbno->isEnabled();
        // The close box waits for the command to end.
        window->close();
        closedEarly += !window->isVisible();
    });
    probe.start();
    window->cmdVerzija->click();
    probe.stop();

    ASSERT_GT(probes, 0);
    EXPECT_EQ(available, 0);
    EXPECT_EQ(closedEarly, 0);
    // Said once, however often it was asked; then closed with the closing line.
    EXPECT_EQ(dialogs.messages.count(
                  QStringLiteral("Operacija je u tijeku. Program će se zatvoriti čim ona završi.")),
              1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(inst.journal().filter(QStringLiteral("KRAJ PROGRAMA")).size(), 1);
    EXPECT_EQ(inst.journal().last(),
              QStringLiteral("*************************** KRAJ PROGRAMA **********************************"));
    EXPECT_TRUE(window->cmdVerzija->isEnabled() && window->fraLokacija->isEnabled());
    // The plan found a newer revision: the update button is available.
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
}
