#include "TestInstallation.h"
#include "core/TableFile.h"
#include "core/Text.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

QByteArray records(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "Program" + QByteArray::number(i) + ".exe;1;0;0;10;20;\r\n";
    return bytes;
}

} // namespace

TEST(TableFile, RecordsFillRowsInOrderAndBlankLinesAreSkipped)
{
    TestInstallation inst;
    const QString file = inst.path(QStringLiteral("Verzije.txt"));
    inst.write(QStringLiteral("Verzije.txt"),
               toAnsi(QStringLiteral("Računi.exe;23;1;4;1000;2000;\r\n\r\n   \r\nPlaće.dll; 23 ;0;0;5;6;\r\nZadnji.chm;1;2;3;4;5;")));
    Matrix m;

    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));

    EXPECT_EQ(inst.state.rowCounter, 3);
    EXPECT_EQ(m.at(0, 0).text(), QStringLiteral("Računi.exe"));
    EXPECT_EQ(m.at(0, 5).text(), QStringLiteral("2000"));
    EXPECT_EQ(m.at(1, 1).text(), QStringLiteral(" 23 ")); // kept with its blanks
    EXPECT_EQ(m.at(2, 0).text(), QStringLiteral("Zadnji.chm")); // last line without its line end
    EXPECT_EQ(m.at(3, 0).text(), QString());
    EXPECT_EQ(m.at(0, 6), Cell(std::int64_t {0}));

    // Each reading starts from the reset matrix: an empty file leaves nothing of the last one.
    inst.write(QStringLiteral("Verzije.txt"), "");
    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));
    Matrix reset;
    OčistiMatricu(reset);
    EXPECT_EQ(m.cells, reset.cells);
    EXPECT_EQ(inst.state.rowCounter, 0);
}

TEST(TableFile, EveryFailureHasItsMessageAndDestination)
{
    struct Case {
        const char* label;
        QByteArray content;
        QString message;
        bool journalled;
    };
    const std::vector<Case> cases {
        {"six fields", "A.exe;1;0;0;1;1\r\n",
         QStringLiteral("Greška u splitu - ima : 5 članova! Datoteka: %1 Red: A.exe;1;0;0;1;1 "), false},
        {"eight fields", "A.exe;1;0;0;1;1;;\r\n",
         QStringLiteral("Greška u splitu - ima : 7 članova! Datoteka: %1 Red: A.exe;1;0;0;1;1;; "), false},
        {"72 records", records(72), QStringLiteral("Greška u dodjeljivanju vrijednosti matrici! Subscript out of range"),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestInstallation inst;
        inst.write(QStringLiteral("Verzije.txt"), c.content);
        const QString file = inst.path(QStringLiteral("Verzije.txt"));
        Matrix m;
        EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, file));
        EXPECT_EQ(inst.state.currentMessage, c.message.contains(QStringLiteral("%1")) ? c.message.arg(file) : c.message);
        EXPECT_EQ(inst.journal().contains(inst.state.currentMessage), c.journalled);
        EXPECT_TRUE(inst.window.messages.empty());
    }

    // 71 records are the most the matrix holds; all of them stay read when a 72nd fails.
    TestInstallation inst;
    inst.write(QStringLiteral("Verzije.txt"), records(71));
    Matrix m;
    EXPECT_TRUE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
    inst.write(QStringLiteral("Verzije.txt"), records(72));
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
    EXPECT_EQ(m.at(70, 0).text(), QStringLiteral("Program70.exe"));
}

TEST(TableFile, MissingOrUnreadableFileIsToldInABoxAndLeavesTheCurrentMessage)
{
    TestInstallation inst;
    inst.state.currentMessage = QStringLiteral("earlier");
    Matrix m;
    const QString missing = inst.path(QStringLiteral("Nema.txt"));
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, missing));
    ASSERT_EQ(inst.window.messages.size(), 1u);
    EXPECT_TRUE(inst.window.messages[0].text.startsWith(QStringLiteral("Greška u otvaranju datoteke: ") + missing + ' '));
    EXPECT_EQ(inst.window.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(inst.state.currentMessage, QStringLiteral("earlier"));

    inst.write(QStringLiteral("Verzije.txt"), records(2));
    inst.platform.faultyFiles.fail(FileOp::Read, "Verzije.txt");
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
    EXPECT_EQ(inst.window.messages.size(), 2u);
}

TEST(TableFile, NamesThatLeaveTheirFolderAreRefusedWithTheRow)
{
    const std::vector<QString> unsafe {
        QStringLiteral("../Računi.exe"), QStringLiteral("Sub/A.exe"), QStringLiteral("Sub\\A.exe"),
        QStringLiteral("C:A.exe"), QStringLiteral(".."), QStringLiteral("A\tB.exe"),
        QString(300, QLatin1Char('a')) + QStringLiteral(".exe"),
    };
    for (const QString& name : unsafe) {
        SCOPED_TRACE(name.toStdString());
        TestInstallation inst;
        const QString line = name + QStringLiteral(";1;0;0;1;1;");
        inst.write(QStringLiteral("Verzije.txt"), toAnsi(QStringLiteral("Dobar.exe;1;0;0;1;1;\r\n") + line + QStringLiteral("\r\n")));
        Matrix m;
        EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
        EXPECT_TRUE(inst.state.currentMessage.startsWith(QStringLiteral("Neispravno ime datoteke u datoteci: ")));
        EXPECT_TRUE(inst.state.currentMessage.contains(QStringLiteral(" Red: ") + line));
        EXPECT_TRUE(inst.journal().contains(inst.state.currentMessage));
    }
    EXPECT_TRUE(isPlainFileName(QStringLiteral("Računi 2.exe")));
    EXPECT_TRUE(isPlainFileName(QStringLiteral("Plaće.v2.dll")));
}
