#include "TestInstallation.h"
#include "core/Journal.h"
#include "core/Text.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

TEST(Journal, EntriesAreAppendedInCallOrderWithDateTimeAndCrLf)
{
    TestInstallation inst;
    inst.write(QStringLiteral("Update/Update.log"), "earlier entry\r\n");
    inst.platform.fakeClock.setTime({2026, 3, 9, 7, 5, 4, 0});

    LogirajGrešku(inst.ctx, QStringLiteral("UpdatePrograma - Početak"));
    LogirajGrešku(inst.ctx, QString()); // leaves date, blank, time and a trailing blank

    const QDate day(2026, 3, 9);
    const QString date = QRegularExpression::escape(QLocale::system().toString(day, QLocale::ShortFormat));
    const QRegularExpression whole(QStringLiteral("^earlier entry\r\n%1 \\S*07:05:04 UpdatePrograma - "
                                                  "Početak\r\n%1 \\S*07:05:04 \r\n$").arg(date));
    const QString text = fromAnsi(inst.read(QStringLiteral("Update/Update.log")));
    EXPECT_TRUE(whole.match(text).hasMatch()) << text.toStdString();
    EXPECT_TRUE(inst.window.messages.empty());
}

TEST(Journal, FailuresShowTheirFormAndCreateNoFolder)
{
    // The folder is missing: the opening fails, told with number and description.
    TestInstallation missing(/*updateFolder=*/false);
    LogirajGrešku(missing.ctx, QStringLiteral("anything"));
    EXPECT_FALSE(missing.exists(QStringLiteral("Update")));
    ASSERT_EQ(missing.window.messages.size(), 1u);
    EXPECT_EQ(missing.window.messages[0].icon, Icon::Exclamation);
    const QString text = missing.window.messages[0].text;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Desila se greška: u upisu u LOG\\. Greška: \\d+ \\S.*$"))
                    .match(text).hasMatch()) << text.toStdString();

    // A full disk: the file opens, the write fails, and the text has no number.
    TestInstallation full;
    full.platform.faultyFiles.fail(FileOp::Write, "Update.log", 1,
                                   platform::Outcome::failed(28, "No space left on device"));
    LogirajGrešku(full.ctx, QStringLiteral("anything"));
    EXPECT_EQ(full.window.messageTexts().join('|'),
              QStringLiteral("Desila se greška: u upisu u LOG. Greška: No space left on device"));
}
