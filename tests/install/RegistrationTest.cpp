#include "InstallFixture.h"
#include "install/Registration.h"

namespace tarvino::test {
namespace {

using RegistrationTest = InstallFixture;

TEST_F(RegistrationTest, ToolGetsTheQuotedFullPathAsOneArgumentAndBothLinesAreJournalled)
{
    const QString folder = state().installFolder + QStringLiteral("Moje komponente") + separator();
    const QString path = folder + QStringLiteral("Tarvino Grid.ocx");
    const QString registering = QStringLiteral("RegSvr32.exe \"") + path + QStringLiteral("\" /s");
    const QString unregistering = QStringLiteral("RegSvr32.exe \"") + path + QStringLiteral("\" /u /s");

    // The component does not exist: the tool is started all the same.
    EXPECT_TRUE(Deregistriraj(ctx, folder, QStringLiteral("Tarvino Grid.ocx")));
    EXPECT_TRUE(Registriraj(ctx, folder, QStringLiteral("Tarvino Grid.ocx")));

    EXPECT_EQ(inst.journal(), QStringList({unregistering, unregistering + QStringLiteral(" Uspješno"), registering,
                                           registering + QStringLiteral(" Uspješno")}));
    // Both calls had ended when the operations returned: the tool is waited for.
    EXPECT_EQ(tool.calls(), StandInRegSvr32::unregisteredThenRegistered(path));
}

TEST_F(RegistrationTest, MissingToolIsAFailureWithItsLine)
{
    tool.setExecutable(false);
    const QString commandLine =
        QStringLiteral("RegSvr32.exe \"") + state().installFolder + QStringLiteral("TarvinoGrid.ocx\" /s");

    EXPECT_FALSE(Registriraj(ctx, state().installFolder, QStringLiteral("TarvinoGrid.ocx")));
    EXPECT_EQ(inst.journal(), QStringList({commandLine, commandLine + QStringLiteral(" Neuspješno")}));
    EXPECT_TRUE(inst.window.messages.empty());
}

TEST_F(RegistrationTest, ToolThatDoesNotEndIsWaitedForThirtySecondsAtMost)
{
    tool.hold();
    // Each round of the wait lets the window work; here a second passes with it.
    inst.window.onProcessEvents = [this] { inst.platform.fakeClock.advance(std::chrono::seconds(1)); };

    EXPECT_TRUE(Registriraj(ctx, state().installFolder, QStringLiteral("TarvinoGrid.ocx")));
    EXPECT_EQ(inst.window.eventRounds, 30);
    tool.release();
}

} // namespace
} // namespace tarvino::test
