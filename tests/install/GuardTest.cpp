#include "InstallFixture.h"
#include "XvfbDesktop.h"
#include "install/Installation.h"
#include "install/ProgramGuard.h"

namespace tarvino::test {
namespace {

const QString kStillOpen = QStringLiteral(
    "Postoje pokrenuti programi:\r\nKnjigovodstvo 23\r\nPlaće 23\r\n\r\n"
    "Da bi nastavili sa daljom instalacijom moraju se zatvoriti svi otvoreni programi!\r\n"
    "Za nastavak rada (i ponovnu provjeru) pritisnite Da (Yes), za prekid instalacije pritisnuti Ne (No) ?");
const QString kReallyQuit =
    QStringLiteral("Ukoliko prekinete sa ažuriranjem novih verzija, izgubiće se svi novi učitani "
                   "programi, pa će se to morati ponoviti.\r\nŽelite li zaista prekinuti sa ažuriranjem "
                   "programa sa novim verzijama?");

/// Real windows on an Xvfb started for each test.
class GuardTest : public InstallFixture {
public:
    void SetUp() override
    {
        std::string why;
        if (!desktop.open(why))
            GTEST_SKIP() << "No display for window tests: " << why;
        put(state().installFolder, QStringLiteral("Knjigovodstvo.exe"), "old");
        put(state().updateFolder, QStringLiteral("Knjigovodstvo.exe"), "new");
        put(state().updateFolder, QStringLiteral("Verzije.txt"), "new manifest");
        plan(QStringLiteral("Knjigovodstvo.exe"));
    }

    platform::WindowManager& windows() { return inst.platform.windows(); }

    XvfbDesktop desktop;
};

TEST_F(GuardTest, OpenSuiteProgramsAreReportedInTableOrderByWholeCaption)
{
    desktop.open("TarvinoMain", "Plaće 23");
    desktop.open("TarvinoMain", "Knjigovodstvo 23 - firma.dat");
    desktop.open("TarvinoMain", "Obračun kamata 23");
    const xcb_window_t books = desktop.open("TarvinoMain", "Knjigovodstvo 23", true);
    desktop.open("XLMain", "Knjiga1 - Excel");

    // Table order, not the order of opening; a reported name where it differs.
    EXPECT_EQ(PokrenutiProgrami(windows()), QStringLiteral("Knjigovodstvo 23\r\nPlaće 23\r\nKamate 23\r\n"));
    // Found while minimised, and left minimised.
    EXPECT_TRUE(desktop.unmapped(books));
    EXPECT_TRUE(AppJeStartana(windows(), QStringLiteral("EXCEL"), false));
    EXPECT_FALSE(AppJeStartana(windows(), QStringLiteral("Word"), false));
}

TEST_F(GuardTest, OperatorWhoGivesUpLeavesEverythingUntouchedAndClosingTheProgramsLetsItGoOn)
{
    const xcb_window_t payroll = desktop.open("TarvinoMain", "Plaće 23");
    const xcb_window_t books = desktop.open("TarvinoMain", "Knjigovodstvo 23");
    // Yes with both still open, then No, then No to giving up, then No and Yes.
    inst.window.answer({Answer::Yes, Answer::No, Answer::No, Answer::No, Answer::Yes});

    EXPECT_FALSE(UpdatePrograma(ctx));
    EXPECT_EQ(inst.window.questions, QStringList({kStillOpen, kStillOpen, kReallyQuit, kStillOpen, kReallyQuit}));
    EXPECT_EQ(inst.journal().last(), QStringLiteral("UpdatePrograma- Korisnik odustaje"));
    EXPECT_FALSE(QDir(state().backupFolder).exists());
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old"));

    inst.window.questions.clear();
    inst.window.answer({Answer::Yes});
    window.onQuestion = [&] {
        desktop.close(payroll);
        desktop.close(books);
    };
    EXPECT_TRUE(UpdatePrograma(ctx));
    EXPECT_EQ(inst.window.questions, QStringList({kStillOpen}));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("new"));
}

} // namespace
} // namespace tarvino::test
