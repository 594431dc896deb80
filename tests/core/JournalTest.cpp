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
    LogirajGrešku(inst.ctx, QString());

    const QString text = fromAnsi(inst.journalBytes());
    const QStringList lines = text.split(CRLF);
    ASSERT_EQ(lines.size(), 4) << text.toStdString(); // three entries and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], QStringLiteral("earlier entry"));
    const QString date = QLocale::system().toString(QDate(2026, 3, 9), QLocale::ShortFormat);
    EXPECT_TRUE(lines[1].startsWith(date + QLatin1Char(' '))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("07:05:04"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" UpdatePrograma - Početak")));
    // An empty message leaves date, blank, time and a trailing blank.
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("07:05:04 "))) << lines[2].toStdString();
    EXPECT_EQ(lines[3], QString());
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
    static const QRegularExpression form(QStringLiteral("^Desila se greška: u upisu u LOG\\. Greška: \\d+ \\S.*$"));
    EXPECT_TRUE(form.match(missing.window.messages[0].text).hasMatch()) << missing.window.messages[0].text.toStdString();

    // A full disk: the file opens, the write fails, and the text has no number.
    TestInstallation full;
    full.platform.faultyFiles.fail(FileOp::Write, "Update.log", 1, platform::Outcome::failed(28, "No space left on device"));
    LogirajGrešku(full.ctx, QStringLiteral("anything"));
    EXPECT_EQ(full.window.messageTexts(),
              QStringList {QStringLiteral("Desila se greška: u upisu u LOG. Greška: No space left on device")});
}
