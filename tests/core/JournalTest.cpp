#include "core/Journal.h"

#include "TestInstallation.h"
#include "core/Text.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

TEST(Journal, EntriesAreAppendedWithDateTimeAndCrLf)
{
    TestInstallation inst;
    inst.write(QStringLiteral("Update/Update.log"), "earlier entry\r\n");
    inst.platform.fakeClock.setTime({2026, 3, 9, 7, 5, 4, 0});
    LogirajGrešku(inst.ctx, QStringLiteral("Početak"));
    LogirajGrešku(inst.ctx, QString());

    const QString date =
        QRegularExpression::escape(QLocale::system().toString(QDate(2026, 3, 9), QLocale::ShortFormat));
    const QRegularExpression whole(
        QStringLiteral("^earlier entry\r\n%1 \\S*07:05:04 Početak\r\n%1 \\S*07:05:04 \r\n$").arg(date));
    EXPECT_TRUE(whole.match(fromAnsi(inst.read(QStringLiteral("Update/Update.log")))).hasMatch());
}

// A journal that cannot be opened is told, and no folder is made for it; a write that fails after the
// opening is told without a number.
TEST(Journal, AFailedWriteIsToldAndCreatesNoFolder)
{
    TestInstallation missing(/*updateFolder=*/false);
    LogirajGrešku(missing.ctx, QStringLiteral("anything"));
    EXPECT_FALSE(missing.exists(QStringLiteral("Update")));
    EXPECT_EQ(missing.window.messages.size(), 1u);

    TestInstallation full;
    full.platform.faultyFiles.fail(FileOp::Write, "Update.log", 1,
                                   platform::Outcome::failed(28, "Disk full"));
    LogirajGrešku(full.ctx, QStringLiteral("anything"));
    EXPECT_EQ(full.window.messageTexts(),
              QStringList{QStringLiteral("Desila se greška: u upisu u LOG. Greška: Disk full")});
}
