#include "ScriptedDialogs.h"
#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "app/Version.h"
#include "app/frmLiveUpdate.h"
#include "core/Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QProgressBar>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

struct WindowFixture : ::testing::Test {
    TestInstallation inst;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmLiveUpdate> window;

    void open()
    {
        window = std::make_unique<frmLiveUpdate>(inst.platform, *inst.settings, dialogs);
        window->Form_Load();
    }

    QStringList storedKeys() const
    {
        QSettings ini(inst.settings->location(), QSettings::IniFormat);
        return ini.allKeys();
    }
};

} // namespace

TEST_F(WindowFixture, StartUpSetsCaptionTabColourAndRemovesTheProbeFolder)
{
    inst.write(QStringLiteral("UpdateADM/ostatak.txt"), "x");
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("BojaVelmora23"), QStringLiteral("255"));

    open();

    const QString version = QStringLiteral(" V%1.%2.%3").arg(version::Major).arg(version::Minor).arg(version::Revision);
    EXPECT_EQ(window->windowTitle(), frmLiveUpdate::kDesignCaption + version);
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(" V23.") + QString::number(version::Minor) +
                                               QLatin1Char('.') + QString::number(version::Revision)));
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    EXPECT_FALSE(inst.exists(QStringLiteral("UpdateADM")));
    EXPECT_EQ(window->state().installFolder, inst.folder());
    // Red in the low byte.
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(window->lblInfo->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(window->fgAžuriranja->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_NE(window->fraLokacijaProbno->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_FALSE(window->state().startingUp);
    EXPECT_TRUE(inst.journal().isEmpty()) << "no journal line at start-up";
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WindowFixture, DefaultColourAndEveryControlCaption)
{
    open();
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(203, 218, 217));
    EXPECT_EQ(window->SSTab1->count(), 5);
    EXPECT_EQ(window->SSTab1->tabText(0), QStringLiteral("&Potrebna &ažuriranja"));
    EXPECT_EQ(window->SSTab1->tabText(1), QStringLiteral("Poruke o &akcijama"));
    EXPECT_EQ(window->SSTab1->tabText(2), QStringLiteral("Poruke o &greškama"));
    EXPECT_EQ(window->SSTab1->tabText(3), QStringLiteral("Kopiranje novih (svih) programa na disk/mrežnu lokaciju"));
    EXPECT_EQ(window->SSTab1->tabText(4), QStringLiteral("Probno ažuriranje programa"));
    EXPECT_EQ(window->cmdVerzija->text(), QStringLiteral("Provjeri postoje li nove verzije i pripremi za download/prijenos"));
    EXPECT_EQ(window->cmdIzlaz->text(), QStringLiteral("Izlaz"));
    EXPECT_EQ(window->optLokacija[1]->text(), QStringLiteral("Sa mrežne lokacije"));
    EXPECT_TRUE(window->optLokacija[2]->isChecked());
    EXPECT_TRUE(window->optLokacijaProbna[2]->isChecked());
    EXPECT_EQ(window->numVrijemeDownloada->maximum(), 23);
    const QStringList tips = {QStringLiteral("Trenutna akcija"), QStringLiteral("Trenutno stanje"), QStringLiteral("Datum"),
                              QStringLiteral("Vrijeme")};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(window->SBar[i]->toolTip(), tips[i]);
    EXPECT_FALSE(window->SBar[2]->text().isEmpty());
    EXPECT_TRUE(window->tmrUpdate->isActive());
    EXPECT_FALSE(window->tmrPrijenos->isActive());
}

TEST_F(WindowFixture, NoSettingIsSavedWhileStartingUp)
{
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QStringLiteral("0"));
    open();
    EXPECT_TRUE(window->optLokacija[0]->isChecked());
    // Only the hour step, which is written back on every change, joins the stored key.
    EXPECT_EQ(storedKeys(), (QStringList {QStringLiteral("Setting/VrijemeAutoDownloadaNovihVerz"),
                                          QStringLiteral("Settings/UpdateLok23N")}));
}

TEST_F(WindowFixture, CloseBoxWritesTheClosingLineAndExitButtonDoesNot)
{
    open();
    window->close();
    EXPECT_EQ(inst.journal().value(inst.journal().size() - 1),
              QStringLiteral("*************************** KRAJ PROGRAMA **********************************"));

    TestInstallation other;
    frmLiveUpdate second(other.platform, *other.settings, dialogs);
    second.Form_Load();
    EXPECT_THROW(second.cmdIzlaz_Click(), ProgramEnded);
    EXPECT_TRUE(other.journal().isEmpty());
}

TEST_F(WindowFixture, EmptyFolderBoxLosingFocusReportsAndOffersTheChooser)
{
    open();
    const QString share = QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno/Verzije.txt"));
    dialogs.files.push_back(share);
    window->show();
    window->txtLokacija[0]->setFocus();
    QApplication::processEvents();
    window->cmdVerzija->setFocus();
    QApplication::processEvents();

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], QStringLiteral("Ne postoji direktorija:  Postavite je!"));
    EXPECT_EQ(dialogs.icons[0], Icon::Exclamation);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, QStringLiteral("Izaberite uređaj i direktoriju gdje se nalaze novi Tarvino programi"));
    EXPECT_EQ(dialogs.requests[0].initialFile, QStringLiteral("Verzije.txt"));
    // The folder of the chosen file, with its separator, is taken and saved.
    const QString folder = QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno/"));
    EXPECT_EQ(window->txtLokacija[0]->text(), folder);
    EXPECT_EQ(inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLokDir23")), folder);
}

TEST_F(WindowFixture, ExistingFolderIsSavedWhenTheBoxLosesFocus)
{
    open();
    window->show();
    const QString folder = QDir::toNativeSeparators(inst.root()) + QDir::separator();
    window->SSTab1->setCurrentIndex(4);
    window->txtLokacija[2]->setFocus();
    QApplication::processEvents();
    window->txtLokacija[2]->selectAll();
    window->txtLokacija[2]->insert(folder); // through the editor, as typing does
    Q_EMIT window->txtLokacija[2]->textEdited(window->txtLokacija[2]->text());
    window->cmdVerzija->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLokDir23Probna")), folder);
}

TEST_F(WindowFixture, TrialOptionClickSavesAndHourStepGoesToSectionSetting)
{
    open();
    window->optLokacijaProbna[0]->click();
    EXPECT_EQ(inst.settings->read(QStringLiteral("Settings"), QStringLiteral("UpdateLok23NProbna")), QStringLiteral("0"));
    window->numVrijemeDownloada->setValue(5);
    EXPECT_EQ(inst.settings->read(QStringLiteral("Setting"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")), QStringLiteral("5"));
    EXPECT_FALSE(inst.settings->contains(QStringLiteral("Settings"), QStringLiteral("VrijemeAutoDownloadaNovihVerz")));
}

TEST_F(WindowFixture, ProgressBarCoversTheCheckButton)
{
    open();
    window->show();
    window->showProgress(0, 5.0e9); // more bytes than an int holds
    EXPECT_TRUE(window->progBar->isVisible());
    EXPECT_EQ(window->progBar->geometry(), window->cmdVerzija->geometry());
    window->setProgress(2.5e9);
    EXPECT_EQ(window->progBar->value(), window->progBar->maximum() / 2);
    window->hideProgress();
    EXPECT_FALSE(window->progBar->isVisible());
}

TEST_F(WindowFixture, RememberedNetworkSourceIsCheckedBeforeTheWindowIsShown)
{
    const QString share = QDir::toNativeSeparators(inst.root() + QStringLiteral("/dijeljeno")) + QDir::separator();
    QDir().mkpath(share);
    auto publish = [&](const QByteArray& manifest) {
        QFile f(share + QStringLiteral("Verzije.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(manifest);
    };
    publish("Racuni.exe;23;1;5;110;210;\r\n");
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");
    inst.write(QStringLiteral("Racuni.exe"), "program");
    inst.write(QStringLiteral("TeamViewerQS.exe"), "remote support");
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLok23N"), QStringLiteral("1"));
    inst.settings->write(QStringLiteral("Settings"), QStringLiteral("UpdateLokDir23"), share);

    open();

    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(inst.read(QStringLiteral("Update/Verzije.txt")), QByteArray("Racuni.exe;23;1;5;110;210;\r\n"));
    EXPECT_FALSE(window->state().manifestFailed);
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);

    // The check button: nothing new any more, so the update button goes off.
    publish("Racuni.exe;23;1;4;100;200;\r\n");
    window->cmdVerzija->click();
    EXPECT_FALSE(window->cmdDownloadAndUpdate->isEnabled());

    // A source click keeps the tab shown.
    window->SSTab1->setCurrentIndex(2);
    window->optLokacija[NetworkFolder]->click();
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
    EXPECT_TRUE(window->state().manifestFailed);
}

TEST_F(WindowFixture, DesignSourceIsNotCheckedAtStartUp)
{
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;1;4;100;200;\r\n");
    open();
    EXPECT_FALSE(inst.exists(QStringLiteral("Update/Verzije.txt")));
    EXPECT_TRUE(inst.journal().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(WindowFixture, CommandsAndSourcesAreUnavailableWhileACheckRuns)
{
    TestHttpServer server;
    server.serve(QStringLiteral("/download/Verzija23/Verzije.txt"), "Racuni.exe;23;0;2;100;200;\r\n");
    inst.write(QStringLiteral("Verzije.txt"), "Racuni.exe;23;0;1;100;200;\r\n");
    inst.write(QStringLiteral("TeamViewerQS.exe"), "support");
    open();
    window->state().sources.primaryServer = server.hostAndPort();
    window->state().sources.useChilkat = false;

    std::vector<bool> availableDuringCheck;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        availableDuringCheck.push_back(window->cmdVerzija->isEnabled() || window->cmdDownlNaLokaciju->isEnabled() ||
                                       window->cmdProbnaAžuriranja->isEnabled() || window->cmdIzlaz->isEnabled() ||
                                       window->fraLokacija->isEnabled() || window->fraLokacijaProbno->isEnabled());
        // The close box is refused while the command runs.
        window->close();
    });
    probe.start();
    window->cmdVerzija->click();
    probe.stop();

    ASSERT_FALSE(availableDuringCheck.empty());
    EXPECT_TRUE(std::none_of(availableDuringCheck.begin(), availableDuringCheck.end(), [](bool b) { return b; }));
    EXPECT_FALSE(inst.journal().join('\n').contains(QStringLiteral("KRAJ PROGRAMA")));
    EXPECT_TRUE(window->cmdVerzija->isEnabled());
    EXPECT_TRUE(window->fraLokacija->isEnabled());
    // The plan found a newer revision: the update button is available.
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(window->fgAžuriranja->rowCount(), 2);
}
