#include "core/TableFile.h"

#include "TestInstallation.h"
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

/// A good record, then one of the given name.
QByteArray named(const QString& name)
{
    return "Dobar.exe;1;0;0;1;1;\r\n" + toAnsi(name) + ";1;0;0;1;1;\r\n";
}

} // namespace

TEST(TableFile, RecordsFillRowsInOrderUpToTheMatrixSize)
{
    TestInstallation inst;
    const QString file = inst.path(QStringLiteral("Verzije.txt"));
    inst.write(QStringLiteral("Verzije.txt"),
               toAnsi(QStringLiteral("Računi 2.exe;23;1;4;1000;2000;\r\n\r\n   \r\n"
                                     "Plaće.v2.dll; 23 ;0;0;5;6;\r\nZadnji.chm;1;2;3;4;5;")));
    Matrix m;
    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));
    EXPECT_EQ(inst.state.rowCounter, 3);
    // Blanks kept, blank lines skipped, the last line without its line end.
    EXPECT_EQ((QStringList{m.at(0, 0).text(), m.at(0, 5).text(), m.at(1, 1).text(), m.at(2, 0).text()}),
              (QStringList{"Računi 2.exe", "2000", " 23 ", "Zadnji.chm"}));

    // 71 records are the most the matrix holds; all of them stay read when a 72nd fails.
    inst.write(QStringLiteral("Verzije.txt"), records(72));
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, file));
    EXPECT_EQ(m.at(70, 0).text(), QStringLiteral("Program70.exe"));
    // Each reading starts from the reset matrix: an empty file leaves nothing of the last one.
    inst.write(QStringLiteral("Verzije.txt"), "");
    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));
    EXPECT_EQ(m.at(70, 0).text(), QString());
    EXPECT_EQ(inst.state.rowCounter, 0);
}

// Each would reach outside the folders, run a device, mean another file on Windows or wrap the total.
TEST(TableFile, MalformedOrHostileRecordsAreRefusedWithTheirReason)
{
    const QString device = QStringLiteral("rezervirano ime uređaja");
    const QString reserved = QStringLiteral("znakove < > \" | ? *");
    const QString path = QStringLiteral("direktoriju, disk");
    const QString size = QStringLiteral("najviše 12 znamenki");
    const struct {
        QByteArray content;
        QString reason; // a part of the current message
    } cases[] = {
        // clang-format off
        {.content = "A.exe;1;0;0;1;1\r\n", .reason = "ima : 5 članova"},
        {.content = "A.exe;1;0;0;1;1;;\r\n", .reason = "ima : 7 članova"},
        {.content = QByteArray((1 << 20) + 1, ' '), .reason = "ne može imati više od 1048576 bajtova"},
        {.content = records(72), .reason = "Subscript out of range"},
        {.content = named("../Računi.exe"), .reason = path}, {.content = named("Sub/A.exe"), .reason = path},
        {.content = named("Sub\\A.exe"), .reason = path}, {.content = named("C:A.exe"), .reason = path},
        {.content = named(".."), .reason = path},
        {.content = named(QString(300, 'a') + ".exe"), .reason = "duže od 255 bajtova"},
        {.content = named("A\tB.exe"), .reason = reserved},
        {.content = named("Novi.7z\" -o. -x!B.exe"), .reason = reserved},
        {.content = named("A<B>.exe"), .reason = reserved}, {.content = named("A|B.exe"), .reason = reserved},
        {.content = named("*.exe"), .reason = reserved}, {.content = named("A?.exe"), .reason = reserved},
        {.content = named("CON"), .reason = device}, {.content = named("nul.txt"), .reason = device},
        {.content = named("COM1.dll"), .reason = device}, {.content = named("Lpt1 .exe"), .reason = device},
        {.content = named("CONIN$"), .reason = device}, {.content = named("com¹.exe"), .reason = device},
        {.content = named("A.exe."), .reason = "završavati točkom"},
        {.content = named("A.exe "), .reason = "razmakom"},
        {.content = named("Ra\u202Eexe.chm"), .reason = "(U+202E)"},
        {.content = named("A\u200B.exe"), .reason = "(U+200B)"},
        {.content = named("A\uFEFF.exe"), .reason = "(U+FEFF)"},
        {.content = "Ra\xC4.exe;1;0;0;1;1;\r\n", .reason = "neispravno kodirane"},
        {.content = "A.exe;1;0;0;99999999999999999999;1;\r\n", .reason = size},
        {.content = "A.exe;1;0;0;-5;1;\r\n", .reason = size}, {.content = "A.exe;1;0;0;1.5;1;\r\n", .reason = size},
        {.content = "A.exe;1;0;0;1e9;1;\r\n", .reason = size}, {.content = "A.exe;1;0;0;0x10;1;\r\n", .reason = size},
        // clang-format on
    };
    for (const auto& c : cases) {
        TestInstallation inst;
        inst.write(QStringLiteral("Verzije.txt"), c.content);
        Matrix m;
        EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
        EXPECT_TRUE(inst.state.currentMessage.contains(c.reason)) << inst.state.currentMessage.toStdString();
        EXPECT_TRUE(inst.journal().contains(inst.state.currentMessage));
        EXPECT_TRUE(inst.window.messages.empty());
    }
}

TEST(TableFile, AMissingOrUnreadableFileIsToldInABox)
{
    TestInstallation inst;
    const QString file = inst.path(QStringLiteral("Verzije.txt"));
    Matrix m;
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, file));
    inst.write(QStringLiteral("Verzije.txt"), records(2));
    inst.platform.faultyFiles.fail(FileOp::Read, "Verzije.txt");
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, file));
    EXPECT_EQ(inst.window.messages.size(), 2u);
}
