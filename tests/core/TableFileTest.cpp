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
               toAnsi(QStringLiteral("Računi 2.exe;23;1;4;1000;2000;\r\n\r\n   \r\n"
                                     "Plaće.v2.dll; 23 ;0;0;5;6;\r\nZadnji.chm;1;2;3;4;5;")));
    Matrix m;

    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));
    EXPECT_EQ(inst.state.rowCounter, 3);
    EXPECT_EQ(m.at(0, 0).text(), QStringLiteral("Računi 2.exe"));
    EXPECT_EQ(m.at(0, 5).text(), QStringLiteral("2000"));
    EXPECT_EQ(m.at(1, 1).text(), QStringLiteral(" 23 "));       // kept with its blanks
    EXPECT_EQ(m.at(2, 0).text(), QStringLiteral("Zadnji.chm")); // last line without its line end
    EXPECT_EQ(m.at(0, 6), Cell(std::int64_t {0}));

    // Each reading starts from the reset matrix: an empty file leaves nothing of the last one.
    inst.write(QStringLiteral("Verzije.txt"), "");
    ASSERT_TRUE(UčitajUMatricu(inst.ctx, m, file));
    Matrix reset;
    OčistiMatricu(reset);
    EXPECT_EQ(m.cells, reset.cells);
    EXPECT_EQ(inst.state.rowCounter, 0);
}

// Every failure of a file that opened goes to the current message and the journal; a file that
// cannot be read is told in a box and leaves the current message as it was.
TEST(TableFile, EveryFailureHasItsMessageAndDestination)
{
    struct Case {
        std::string label;
        std::optional<QByteArray> content; // none: the file is missing
        QString message;                   // %1: the file; empty: a box instead
        bool journalled = false;
    };
    std::vector<Case> cases{
        {"six fields", "A.exe;1;0;0;1;1\r\n",
         QStringLiteral("Greška u splitu - ima : 5 članova! Datoteka: %1 Red: A.exe;1;0;0;1;1 "), true},
        {"eight fields", "A.exe;1;0;0;1;1;;\r\n",
         QStringLiteral("Greška u splitu - ima : 7 članova! Datoteka: %1 Red: A.exe;1;0;0;1;1;; "), true},
        // Read whole, so never more than a manifest can be.
        {"too large", QByteArray((1 << 20) + 1, ' '),
         QStringLiteral("Datoteka %1 ima 1048577 bajtova, a kontrolna datoteka ne može imati više od 1048576 "
                        "bajtova."),
         true},
        {"72 records", records(72),
         QStringLiteral("Greška u dodjeljivanju vrijednosti matrici! Subscript out of range"), true},
        {"missing file", std::nullopt, {}},
        {"unreadable file", records(2), {}},
    };
    // Hostile names: each would reach outside the folders, run a device or mean another file on Windows.
    const QString path = QStringLiteral("Ime ne smije sadržavati direktoriju, disk ni znakove /, \\, :, ..");
    const QString reserved =
        QStringLiteral("Ime ne smije sadržavati znakove < > \" | ? * ni kontrolne znakove.");
    const QString device =
        QStringLiteral("Ime je rezervirano ime uređaja u Windowsima (CON, PRN, AUX, NUL, COM1, LPT1 i sl.).");
    const QString trailing = QStringLiteral("Ime ne smije završavati točkom ni razmakom.");
    const std::pair<QByteArray, QString> names[] = {
        {toAnsi(QStringLiteral("../Računi.exe")), path},
        {"Sub/A.exe", path},
        {"Sub\\A.exe", path},
        {"C:A.exe", path},
        {"..", path},
        {QByteArray(300, 'a') + ".exe", QStringLiteral("Ime je duže od 255 bajtova.")},
        {"A\tB.exe", reserved},
        {"Novi.7z\" -o. -x!B.exe", reserved},
        {"A<B>.exe", reserved},
        {"A|B.exe", reserved},
        {"*.exe", reserved},
        {"A?.exe", reserved},
        {"CON", device},
        {"nul.txt", device},
        {"COM1.dll", device},
        {"Lpt1 .exe", device},
        {"CONIN$", device},
        {toAnsi(QStringLiteral("com¹.exe")), device},
        {"A.exe.", trailing},
        {"A.exe ", trailing},
        {toAnsi(QStringLiteral("Ra\u202Eexe.chm")),
         QStringLiteral("Ime ne smije sadržavati nevidljive znakove (U+202E).")},
        {toAnsi(QStringLiteral("A\u200B.exe")),
         QStringLiteral("Ime ne smije sadržavati nevidljive znakove (U+200B).")},
        {toAnsi(QStringLiteral("A\uFEFF.exe")),
         QStringLiteral("Ime ne smije sadržavati nevidljive znakove (U+FEFF).")},
        {"Ra\xC4.exe", QStringLiteral("Ime sadrži neispravno kodirane znakove.")},
    };
    for (const auto& [name, reason] : names) {
        const QByteArray line = name + ";1;0;0;1;1;";
        cases.push_back({name.toStdString(), "Dobar.exe;1;0;0;1;1;\r\n" + line + "\r\n",
                         QStringLiteral("Neispravno ime datoteke u datoteci: %1 Red: ") + fromAnsi(line) +
                             QLatin1Char(' ') + reason,
                         true});
    }
    // Sizes beyond 64 bits once wrapped the total; a size is a whole number of sane length.
    for (const QByteArray& size : {QByteArray("99999999999999999999"), QByteArray("-5"), QByteArray("1.5"),
                                  QByteArray("1e9"), QByteArray("0x10")}) {
        const QByteArray line = "A.exe;1;0;0;" + size + ";1;";
        cases.push_back({size.toStdString(), line + "\r\n",
                         QStringLiteral("Neispravna veličina datoteke u datoteci: %1 Red: ") +
                             fromAnsi(line) +
                             QStringLiteral(" Veličina mora biti cijeli broj bajtova (najviše 12 znamenki)."),
                         true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestInstallation inst;
        const QString file = inst.path(QStringLiteral("Verzije.txt"));
        if (c.content)
            inst.write(QStringLiteral("Verzije.txt"), *c.content);
        if (c.label == "unreadable file")
            inst.platform.faultyFiles.fail(FileOp::Read, "Verzije.txt");
        inst.state.currentMessage = QStringLiteral("earlier");
        Matrix m;
        EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, file));
        const QString expected = c.message.contains("%1") ? c.message.arg(file) : c.message;
        EXPECT_EQ(inst.state.currentMessage, expected.isEmpty() ? QStringLiteral("earlier") : expected);
        EXPECT_EQ(inst.journal().contains(inst.state.currentMessage), c.journalled);
        const QString box = QStringLiteral("Greška u otvaranju datoteke: ") + file + ' ';
        EXPECT_EQ(inst.window.messages.size(), c.message.isEmpty() ? 1u : 0u);
        EXPECT_EQ(inst.window.messageTexts().join("").left(box.size()), c.message.isEmpty() ? box : "");
    }

    // 71 records are the most the matrix holds; all of them stay read when a 72nd fails.
    TestInstallation inst;
    inst.write(QStringLiteral("Verzije.txt"), records(72));
    Matrix m;
    EXPECT_FALSE(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))));
    EXPECT_EQ(m.at(70, 0).text(), QStringLiteral("Program70.exe"));
}
