#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "app/Dialogs.h"
#include "app/frmLiveUpdate.h"
#include "core/Settings.h"

#include <QtWidgets>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

namespace {

/// The installation and the window on it; the fixture is the operator, who answers every question No and
/// chooses the one file given.
struct WindowFixture : ::testing::Test, Dialogs {
    TestInstallation inst;
    std::unique_ptr<frmLiveUpdate> window;
    QStringList messages;
    std::optional<QString> file;

    void message(QWidget*, const QString& text, Icon, const QString&) override { messages << text; }
    Answer question(QWidget*, const QString&) override { return Answer::No; }
    void notice(QWidget*, const QString& text) override { messages << text; }
    std::optional<QString> openFile(QWidget*, const FileDialogRequest&) override
    {
        return std::exchange(file, std::nullopt);
    }
    void set(const QString& name, const QString& value) { inst.settings->write(key::Settings, name, value); }
    void open()
    {
        window = std::make_unique<frmLiveUpdate>(inst.platform, *inst.settings, *this);
        window->Form_Load();
        window->show();
    }
};

} // namespace

TEST_F(WindowFixture, StartUpChecksNoServerAndThePlanGridTotalsBeyondAnInt)
{
    inst.write(u"UpdateADM/ostatak.txt"_s, "x");
    inst.write(u"Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");
    open();
    // The probe folder goes; the design source (the primary server) is not checked at start-up.
    EXPECT_FALSE(inst.exists(u"UpdateADM"_s) || inst.exists(u"Update/Verzije.txt"_s));
    EXPECT_TRUE(window->tmrUpdate->isActive());

    const PlanGridRow bills{u"Računi.exe"_s, "23", "1", "4", "1234567", "2500000"};
    window->showPlan({bills, {u"Pomoć.chm"_s, "23", "0", "0", "3000000000", "abc"}, bills});
    const QTableWidget* grid = window->fgAžuriranja;
    // Sizes grouped; one that is no number is shown as it stands and counts as 0.
    EXPECT_EQ(QStringList({grid->item(0, 5)->text(), grid->item(0, 6)->text(), grid->item(2, 6)->text()}),
              QStringList({u"3,002,469,134"_s, u"5,000,000"_s, u"abc"_s}));
    EXPECT_TRUE(inst.journal().isEmpty() && messages.isEmpty());
}

TEST_F(WindowFixture, AFolderBoxIsCheckedOnlyWhenLeftForAnotherControlAndTheChosenFolderIsSaved)
{
    open();
    QLineEdit* box = window->txtLokacija[0];
    const auto leave = [&](const QString& text, Qt::FocusReason reason) {
        Q_EMIT box->textEdited(text);
        messages.clear();
        QFocusEvent focusOut(QEvent::FocusOut, reason);
        QApplication::sendEvent(box, &focusOut);
        return messages;
    };
    // Another program's window or the box's own menu taking the focus is no leaving.
    EXPECT_EQ(leave(u"nema"_s, Qt::ActiveWindowFocusReason), QStringList());
    EXPECT_EQ(leave(u"nema"_s, Qt::PopupFocusReason), QStringList());
    EXPECT_EQ(leave(u"nema"_s, Qt::TabFocusReason),
              QStringList({u"Ne postoji direktorija: nema Postavite je!"_s}));
    // An empty box offers the chooser.
    const QString chosen = QDir::toNativeSeparators(inst.root() + u"/dijeljeno/"_s);
    file = chosen + u"Verzije.txt"_s;
    EXPECT_EQ(leave({}, Qt::MouseFocusReason), QStringList({u"Ne postoji direktorija:  Postavite je!"_s}));
    EXPECT_EQ(inst.settings->read(key::Settings, key::RegularFolder), chosen);
}

TEST_F(WindowFixture, ARememberedSourceIsCheckedNotSavedAtStartUpAndACheckHoldsTheCommandsAndTheCloseBox)
{
    TestHttpServer server;
    server.serve(u"/download/Verzija23/Verzije.txt"_s, "Racuni.exe;23;1;5;110;210;\r\n");
    inst.write(u"Verzije.txt"_s, "Racuni.exe;23;1;4;100;200;\r\n");
    inst.write(u"TeamViewerQS.exe"_s, "remote support");
    set(key::RegularOption, QString::number(SecondaryServer));
    set(key::SecondaryServer, server.hostAndPort());
    set(key::UseChilkat, u"0"_s);
    open();
    EXPECT_EQ(inst.read(u"Update/Verzije.txt"_s), QByteArray("Racuni.exe;23;1;5;110;210;\r\n"));
    // The source clicked at start-up is not saved; only the hour step, written on every change, is.
    EXPECT_EQ(QSettings(inst.settings->location(), QSettings::IniFormat).allKeys(),
              QStringList({u"Setting/VrijemeAutoDownloadaNovihVerz"_s, u"Settings/KoristiChilkatZaDownload"_s,
                           u"Settings/SekundarniServer23"_s, u"Settings/UpdateLok23N"_s}));

    // While a check runs the close box is said to wait, once, and closes after it; start-up said nothing.
    int probes = 0;
    QTimer probe;
    probe.callOnTimeout([&] {
        probes += 1;
        EXPECT_FALSE(window->cmdVerzija->isEnabled() || window->cmdDownlNaLokaciju->isEnabled() ||
                     window->cmdProbnaAžuriranja->isEnabled() || window->cmdIzlaz->isEnabled() ||
                     window->fraLokacija->isEnabled() || window->fraLokacijaProbno->isEnabled());
        window->close();
        EXPECT_TRUE(window->isVisible());
    });
    probe.start(0);
    window->cmdVerzija->click();
    ASSERT_GT(probes, 0);
    EXPECT_EQ(messages, QStringList({u"Operacija je u tijeku. Program će se zatvoriti čim ona završi."_s}));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(inst.journal().filter(u"KRAJ PROGRAMA"_s), QStringList({inst.journal().last()}));
    // The plan found a newer revision: the update button is available again.
    EXPECT_TRUE(window->cmdVerzija->isEnabled() && window->cmdDownloadAndUpdate->isEnabled());
}
