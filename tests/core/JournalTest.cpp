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

TEST(Journal, MissingUpdateFolderShowsTheOpeningFailureAndIsNotCreated)
{
    TestInstallation inst(/*updateFolder=*/false);

    LogirajGrešku(inst.ctx, QStringLiteral("anything"));

    EXPECT_FALSE(inst.exists(QStringLiteral("Update")));
    ASSERT_EQ(inst.window.messages.size(), 1u);
    const ShownMessage& box = inst.window.messages[0];
    EXPECT_EQ(box.icon, Icon::Exclamation);
    EXPECT_TRUE(box.title.isEmpty());
    // "Desila se greška: u upisu u LOG. Greška: " number, blank, description.
    static const QRegularExpression form(QStringLiteral("^Desila se greška: u upisu u LOG\\. Greška: \\d+ \\S.*$"));
    EXPECT_TRUE(form.match(box.text).hasMatch()) << box.text.toStdString();
}

TEST(Journal, WriteFailureShowsTheSecondFormWithoutNumber)
{
    TestInstallation inst;
    // A full disk: the file opens, the write fails.
    inst.platform.faultyFiles.fail(FileOp::Write, "Update.log", 1, platform::Outcome::failed(28, "No space left on device"));

    LogirajGrešku(inst.ctx, QStringLiteral("anything"));

    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_EQ(inst.window.messages[0].text, QStringLiteral("Desila se greška: u upisu u LOG. Greška: No space left on device"));
}

TEST(Journal, StatusPanelsAndCollections)
{
    TestInstallation inst;
    StatusAkcija(inst.ctx, QStringLiteral("Download: Verzije.txt"));
    StatusStanje(inst.ctx, QStringLiteral("45%"));
    EXPECT_EQ(inst.window.status(Panel::Action), QStringLiteral("Download: Verzije.txt"));
    EXPECT_EQ(inst.window.status(Panel::State), QStringLiteral("45%"));
    StatusAkcija(inst.ctx, QString());
    EXPECT_EQ(inst.window.status(Panel::Action), QString());

    QString collection;
    appendLine(collection, QStringLiteral("Kopirano Racuni.7z"));
    EXPECT_EQ(collection, QStringLiteral("\r\nKopirano Racuni.7z"));
    inst.state.actionMessages = collection;
    inst.state.errorMessages = QStringLiteral("\r\ngreška");
    showCollectedMessages(inst.ctx);
    EXPECT_EQ(inst.window.actionPane, collection);
    EXPECT_EQ(inst.window.errorPane, QStringLiteral("\r\ngreška"));
}
