#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "app/Dialogs.h"
#include "app/Version.h"
#include "app/frmLiveUpdate.h"
#include "core/Settings.h"

#include <QtWidgets>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
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

    void set(const QString& name, const QString& value) { inst.settings->write(key::Settings, name, value); }
    void open()
    {
        window = std::make_unique<frmLiveUpdate>(inst.platform, *inst.settings, dialogs);
        window->Form_Load();
    }
};

} // namespace

TEST_F(WindowFixture, StartUpSetsCaptionTabColourAndRemovesTheProbeFolder)
{
    inst.write(u"UpdateADM/ostatak.txt"_s, "x");
    set(key::Colour, u"255"_s);
    // The design source (the primary server) is not checked at start-up.
    inst.write(u"Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");

    open();

    EXPECT_EQ(window->windowTitle(), u"Tarvino Live Update - Automatsko ažuriranje Tarvino programa V%1.%2.%3"_s
                                         .arg(version::Major).arg(version::Minor).arg(version::Revision));
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    EXPECT_FALSE(inst.exists(u"UpdateADM"_s));
    EXPECT_FALSE(inst.exists(u"Update/Verzije.txt"_s));
    // Red in the low byte; the trial frame keeps its own colour.
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(window->fgAžuriranja->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_NE(window->fraLokacijaProbno->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(window->tmrUpdate->isActive());
    EXPECT_TRUE(inst.journal().isEmpty() && dialogs.messages.isEmpty());
}

TEST_F(WindowFixture, NoSettingIsSavedWhileStartingUp)
{
    set(key::RegularOption, QString::number(SecondaryServer));
    open();
    EXPECT_TRUE(window->optLokacija[SecondaryServer]->isChecked());
    // Only the hour step, which is written back on every change, joins the stored key.
    EXPECT_EQ(QSettings(inst.settings->location(), QSettings::IniFormat).allKeys(),
              QStringList({u"Setting/VrijemeAutoDownloadaNovihVerz"_s, u"Settings/UpdateLok23N"_s}));
}

TEST_F(WindowFixture, FreshInstallationStartsWithTheDesignLookAndCloseBoxWritesTheClosingLine)
{
    open();
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(203, 218, 217));
    EXPECT_TRUE(window->optLokacija[PrimaryServer]->isChecked() &&
                window->optLokacijaProbna[PrimaryServer]->isChecked());
    EXPECT_EQ(window->numVrijemeDownloada->maximum(), 23);
    // More bytes than an int holds.
    window->showProgress(0, 5.0e9);
    window->setProgress(2.5e9);
    EXPECT_EQ(window->progBar->value(), window->progBar->maximum() / 2);

    // The exit button ends the program without the closing line; the close box writes it.
    EXPECT_THROW(window->cmdIzlaz_Click(), ProgramEnded);
    EXPECT_TRUE(inst.journal().isEmpty());
    window->close();
    EXPECT_EQ(inst.journal().value(inst.journal().size() - 1),
              u"*************************** KRAJ PROGRAMA **********************************"_s);
}

TEST_F(WindowFixture, ChangesAreSavedAsTheyAreMade)
{
    open();
    window->show();
    // An empty box left reports and offers the chooser; the chosen file's folder is taken.
    const QString chosen = QDir::toNativeSeparators(inst.root() + u"/dijeljeno/"_s);
    dialogs.file = chosen + u"Verzije.txt"_s;
    QLineEdit* box = window->txtLokacija[0];
    box->setFocus();
    QApplication::processEvents();
    box->selectAll();
    box->del(); // through the editor, as typing does
    Q_EMIT box->textEdited(box->text());
    window->cmdVerzija->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(dialogs.messages, QStringList({u"Ne postoji direktorija:  Postavite je!"_s}));
    EXPECT_EQ(box->text(), chosen);
    EXPECT_EQ(inst.settings->read(key::Settings, key::RegularFolder), chosen);

    // Only leaving for another control checks the box: not another program's window, nor its menu.
    box->setText(u"nema"_s);
    Q_EMIT box->textEdited(box->text());
    QWidget otherProgram;
    otherProgram.show();
    QMenu menu;
    menu.addAction(u"Kopiraj"_s);
    const struct {
        const char* how;
        std::function<void()> leave;
        bool checked;
    } rows[]{
        {.how = "other program", .leave = [&] { otherProgram.activateWindow(); }, .checked = false},
        {.how = "menu", .leave = [&] { menu.popup(box->mapToGlobal(QPoint())); }, .checked = false},
        {.how = "Tab", .leave = [&] { window->cmdVerzija->setFocus(Qt::TabFocusReason); }, .checked = true},
    };
    for (const auto& row : rows) {
        window->activateWindow();
        box->setFocus();
        QApplication::processEvents();
        dialogs.messages.clear();
        row.leave();
        QApplication::processEvents();
        const QStringList expected{u"Ne postoji direktorija: nema Postavite je!"_s};
        EXPECT_EQ(dialogs.messages, row.checked ? expected : QStringList()) << row.how;
        menu.close();
    }

    window->optLokacijaProbna[0]->click();
    EXPECT_EQ(inst.settings->read(key::Settings, key::TrialOption), u"0"_s);
}

TEST_F(WindowFixture, RememberedNetworkSourceIsCheckedBeforeTheWindowIsShown)
{
    const QString share = QDir::toNativeSeparators(inst.path(u"dijeljeno/"_s));
    inst.write(u"dijeljeno/Verzije.txt"_s, "Racuni.exe;23;1;5;110;210;\r\n");
    inst.write(u"Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");
    inst.write(u"Racuni.exe"_s, "program");
    inst.write(u"TeamViewerQS.exe"_s, "remote support");
    set(key::RegularOption, QString::number(NetworkFolder));
    set(key::RegularFolder, share);

    open();

    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(inst.read(u"Update/Verzije.txt"_s), QByteArray("Racuni.exe;23;1;5;110;210;\r\n"));
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);

    // A failed check leaves the update button as it was; nothing new turns it off.
    QFile::remove(share + u"Verzije.txt"_s);
    window->cmdVerzija->click();
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
    EXPECT_EQ(dialogs.messages.size(), 1);
    inst.write(u"dijeljeno/Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");
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
    server.serve(u"/download/Verzija23/Verzije.txt"_s, "Racuni.exe;23;0;2;100;200;\r\n");
    inst.write(u"Verzije.txt"_s, "Racuni.exe;23;0;1;100;200;\r\n");
    inst.write(u"TeamViewerQS.exe"_s, "support");
    open();
    window->state().sources.primaryServer = server.hostAndPort();
    window->state().sources.useChilkat = false;

    window->show();
    int probes = 0, available = 0, closedEarly = 0;
    QTimer probe;
    probe.callOnTimeout([&] {
        ++probes;
        available += window->cmdVerzija->isEnabled() || window->cmdDownlNaLokaciju->isEnabled() ||
                     window->cmdProbnaAžuriranja->isEnabled() || window->cmdIzlaz->isEnabled() ||
                     window->fraLokacija->isEnabled() || window->fraLokacijaProbno->isEnabled();
        // The close box waits for the command to end.
        window->close();
        closedEarly += !window->isVisible();
    });
    probe.start(0);
    window->cmdVerzija->click();
    probe.stop();

    ASSERT_GT(probes, 0);
    EXPECT_EQ(available, 0);
    EXPECT_EQ(closedEarly, 0);
    // Said once, however often it was asked; then closed with the closing line.
    EXPECT_EQ(dialogs.messages.count(u"Operacija je u tijeku. Program će se zatvoriti čim ona završi."_s), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(inst.journal().filter(u"KRAJ PROGRAMA"_s).size(), 1);
    EXPECT_TRUE(inst.journal().last().contains(u"KRAJ PROGRAMA"_s));
    EXPECT_TRUE(window->cmdVerzija->isEnabled() && window->fraLokacija->isEnabled());
    // The plan found a newer revision: the update button is available.
    EXPECT_TRUE(window->cmdDownloadAndUpdate->isEnabled());
}
