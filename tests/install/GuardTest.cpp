#include "ForwardingWindow.h"
#include "InstallFixture.h"
#include "XvfbDesktop.h"
#include "install/Installation.h"
#include "install/ProgramGuard.h"

#include <functional>

namespace tarvino::test {
namespace {

const QString kStillOpen =
    QStringLiteral("Postoje pokrenuti programi:\r\nKnjigovodstvo 23\r\nPlaće 23\r\n\r\n");

/// Runs a hook while a question is open, after the operator has answered it.
class AnsweringWindow final : public ForwardingWindow {
public:
    using ForwardingWindow::ForwardingWindow;
    Answer question(const QString& text) override
    {
        const Answer answer = ForwardingWindow::question(text);
        onQuestion();
        return answer;
    }
    std::function<void()> onQuestion = [] {};
};

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
        put(state().updateFolder, kManifestFile, "new manifest");
        plan(QStringLiteral("Knjigovodstvo.exe"));
    }

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
    EXPECT_EQ(PokrenutiProgrami(inst.platform.windows()),
              QStringLiteral("Knjigovodstvo 23\r\nPlaće 23\r\nKamate 23\r\n"));
    // Found while minimised, and left minimised.
    EXPECT_TRUE(desktop.unmapped(books));
    EXPECT_TRUE(AppJeStartana(inst.platform.windows(), QStringLiteral("EXCEL"), false));
    EXPECT_FALSE(AppJeStartana(inst.platform.windows(), QStringLiteral("Word"), false));
}

TEST_F(GuardTest, OperatorWhoGivesUpLeavesEverythingUntouchedAndClosingTheProgramsLetsItGoOn)
{
    const xcb_window_t payroll = desktop.open("TarvinoMain", "Plaće 23");
    const xcb_window_t books = desktop.open("TarvinoMain", "Knjigovodstvo 23");
    // Yes with both still open, then No, then No to giving up, then No and Yes.
    inst.window.answer({Answer::Yes, Answer::No, Answer::No, Answer::No, Answer::Yes});
    AnsweringWindow window(inst.window);
    Context answering{inst.state, window, inst.platform, *inst.settings};

    EXPECT_FALSE(UpdatePrograma(answering));
    EXPECT_EQ(inst.window.questions.size(), 5);
    EXPECT_TRUE(inst.window.questions.value(3).startsWith(kStillOpen));
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old"));

    inst.window.answer({Answer::Yes});
    window.onQuestion = [&] {
        desktop.close(payroll);
        desktop.close(books);
    };
    EXPECT_TRUE(UpdatePrograma(answering));
    EXPECT_EQ(inst.window.questions.size(), 6);
    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("new"));
}

} // namespace
} // namespace tarvino::test
