#include "core/TableFile.h"

#include "TestInstallation.h"
#include "core/Text.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

/// A good record, then one of the given name.
QByteArray named(const QString& name)
{
    return "Dobar.exe;1;0;0;1;1;\r\n" + toAnsi(name) + ";1;0;0;1;1;\r\n";
}

} // namespace

// Each refused one would reach outside the folders, run a device, mean another file on Windows or wrap
// the total.
TEST(TableFile, RecordsFillRowsInOrderOrAreRefusedWithTheirReason)
{
    const struct {
        QByteArray content;
        QString reason; // a part of the current message; none: read
    } cases[] = {
        // clang-format off
        {.content = "A.exe;1;0;0;1;1\r\n", .reason = "ima : 5 članova"},
        {.content = QByteArray((1 << 20) + 1, ' '), .reason = "ne može imati više od 1048576 bajtova"},
        {.content = QByteArray("A.exe;1;0;0;1;1;\r\n").repeated(72), .reason = "Subscript out of range"},
        // After the 71 rows above: each reading starts from the reset matrix. Blanks are kept, blank lines
        // skipped, the last line read without its line end.
        {.content = toAnsi(QStringLiteral("Računi 2.exe; 23 ;1;4;1;2;\r\n\r\n   \r\nZadnji.chm;1;2;3;4;5;"))},
        {.content = named("../A.exe"), .reason = "disk"}, {.content = named("Sub\\A.exe"), .reason = "disk"},
        {.content = named("Sub/A.exe"), .reason = "disk"}, {.content = named("C:A.exe"), .reason = "disk"},
        {.content = named(QString(300, 'a') + ".exe"), .reason = "duže od 255 bajtova"},
        {.content = named("Novi.7z\" -o. -x!B.exe"), .reason = "znakove <"},
        {.content = named("A\tB.exe"), .reason = "znakove <"},
        {.content = named("nul.t"), .reason = "uređaja"}, {.content = named("A.exe "), .reason = "razmakom"},
        {.content = named("Lpt1 .e"), .reason = "uređaja"}, {.content = named("com¹.e"), .reason = "uređaja"},
        {.content = named("Ra\u202Eexe.chm"), .reason = "(U+202E)"},
        {.content = "Ra\xC4.exe;1;0;0;1;1;\r\n", .reason = "neispravno kodirane"},
        {.content = "A.exe;1;0;0;9999999999999;1;\r\n", .reason = "12 znamenki"},
        {.content = "A.exe;1;0;0;1;-5;\r\n", .reason = "12 znamenki"},
        // clang-format on
    };
    Matrix m;
    for (const auto& c : cases) {
        TestInstallation inst;
        inst.write(QStringLiteral("Verzije.txt"), c.content);
        EXPECT_EQ(UčitajUMatricu(inst.ctx, m, inst.path(QStringLiteral("Verzije.txt"))), c.reason.isEmpty());
        EXPECT_TRUE(inst.state.currentMessage.contains(c.reason)) << inst.state.currentMessage.toStdString();
        EXPECT_TRUE(inst.journal().contains(inst.state.currentMessage) || c.reason.isEmpty());
        EXPECT_TRUE(inst.window.messages.empty());
        if (c.reason.isEmpty()) {
            EXPECT_EQ(
                (QStringList{m.at(0, 0).text(), m.at(0, 1).text(), m.at(1, 5).text(), m.at(2, 0).text()}),
                (QStringList{"Računi 2.exe", " 23 ", "5", {}}));
        }
    }
}
