#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kPrefix = QStringLiteral("NapraviRsŠtoTrebaAžurirati - ");

// Rows as "name;main;minor;revision;packed;real"; without sizes they are 100 and 200.
QByteArray manifest(const QStringList& rows)
{
    QString text;
    for (const QString& row : rows)
        text += row + QLatin1String(row.count(QLatin1Char(';')) == 3 ? ";100;200;\r\n" : ";\r\n");
    return toAnsi(text);
}

/// An installation with its folders derived, an installed and a new manifest.
struct PlanSetup {
    TestInstallation inst;

    PlanSetup(const QStringList& installed, const QStringList& fresh, const QStringList& presentFiles = {})
    {
        inst.platform.fakeSystem.env["WinDir"] = native(inst.path(QStringLiteral("Windows")));
        IzvediDirektorije(inst.ctx);
        inst.write(QStringLiteral("Verzije.txt"), manifest(installed));
        inst.write(QStringLiteral("Update/Verzije.txt"), manifest(fresh));
        for (const QString& f : presentFiles)
            inst.write(f, "x");
    }

    /// The names the plan marks for installing, in its order.
    QStringList planned() const
    {
        QStringList names;
        for (int i = 0; i < Matrix::Rows; ++i) {
            if (inst.state.plan.at(i, 6).number() == 1)
                names << inst.state.plan.at(i, 0).text();
        }
        return names;
    }
};

} // namespace

TEST(UpdatePlan, DecisionsForEveryKindOfRow)
{
    const QString help = QStringLiteral("Windows/Help/");
    const QString scripts = QStringLiteral("Skrite za izmjenu baze/");
    const QString change = QStringLiteral("TarvinoIzmjBaza23.dll");
    const QString tool = QStringLiteral("TarvinoLiveUpdate23.exe");
    const struct {
        const char* label;
        QStringList installed;
        QStringList fresh;
        QStringList present; // files relative to the installation folder
        QStringList planned;
        std::int64_t total;
    } cases[] = {
        // clang-format off
        {"main number greater", {"A.exe;1;9;9"}, {"A.exe;2;0;0"}, {"A.exe"}, {"A.exe"}, 100},
        {"each number on its own: 2.0.0, 1.5.0", {"A.exe;2;0;0"}, {"A.exe;1;5;0"}, {"A.exe"}, {"A.exe"}, 100},
        {"older everywhere", {"A.exe;2;5;5"}, {"A.exe;2;5;4"}, {"A.exe"}, {}, 0},
        {"exe: a bigger size does not count", {"A.exe;1;2;3"}, {"A.exe;1;2;3;900;900"}, {"A.exe"}, {}, 0},
        {"exe missing from the installation", {"A.exe;1;2;3"}, {"A.exe;1;2;3"}, {}, {"A.exe"}, 100},
        {"ocx: bigger packed size", {"B.ocx;1;0;0"}, {"B.ocx;1;0;0;101;200"}, {"B.ocx"}, {"B.ocx"}, 101},
        {"ocx: bigger real size", {"B.ocx;1;0;0"}, {"B.ocx;1;0;0;100;201"}, {"B.ocx"}, {"B.ocx"}, 100},
        {"chm: packed size grew", {"P.chm;1;0;0"}, {"P.chm;1;0;0;150;200"}, {help + "P.chm"}, {"P.chm"}, 150},
        {"chm: absent from the help folder", {"P.chm;1;0;0"}, {"P.chm;1;0;0"}, {"P.chm"}, {"P.chm"}, 100},
        {"chm: present and equal", {"P.chm;1;0;0"}, {"P.chm;1;0;0"}, {help + "P.chm"}, {}, 0},
        {"enc: not in the scripts folder", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0"}, {"S1.enc"}, {"S1.enc"}, 100},
        {"enc: real size grew", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0;100;300"}, {scripts + "S1.enc"}, {"S1.enc"},
         100},
        {"enc: packed size grew", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0;300;200"}, {scripts + "S1.enc"}, {}, 0},
        {"database change: scripts after it come again, scripts before it do not",
         {"S1.enc;1;0;0", change + ";1;0;0", "S2.enc;1;0;0"},
         {"S1.enc;1;0;0;7;200", change + ";2;0;0;50;200", "S2.enc;1;0;0;9;200"},
         {scripts + "S1.enc", scripts + "S2.enc", change}, {change, "S2.enc"}, 59},
        {"database change as a new item does not bring the scripts", {"S2.enc;1;0;0"},
         {change + ";1;0;0;50;200", "S2.enc;1;0;0"}, {scripts + "S2.enc"}, {change}, 50},
        {"the tool itself is never planned", {tool + ";1;0;0"}, {tool + ";9;0;0"}, {tool}, {}, 0},
        {"names differing in case are different rows", {"racuni.exe;1;0;0"}, {"Racuni.exe;1;0;0"},
         {"Racuni.exe", "racuni.exe"}, {"Racuni.exe"}, 100},
        {"sizes past 2 GiB add up", {}, {"V1.dll;1;0;0;3000000000;200", "V2.dll;1;0;0;3000000000;200"}, {},
         {"V1.dll", "V2.dll"}, 6000000000LL},
        // clang-format on
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        PlanSetup setup(c.installed, c.fresh, c.present);
        EXPECT_EQ(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx), !c.planned.isEmpty());
        EXPECT_EQ(setup.planned(), c.planned);
        EXPECT_EQ(setup.inst.state.totalPackedSize, c.total);
        EXPECT_TRUE(setup.inst.window.messages.empty());
    }
}

TEST(UpdatePlan, JournalGridAndOldPlanFile)
{
    PlanSetup setup(
        {"Računi.exe;1;0;0", "TarvinoIzmjBaza23.dll;1;0;0", "S1.enc;1;0;0", "TarvinoLiveUpdate23.exe;1;0;0"},
        {"Računi.exe;1;0;1;1500;200", "Novi.dll;1;0;0;20;200", "TarvinoIzmjBaza23.dll;1;1;0;30;200",
         "S1.enc;1;0;0;40;200", "TarvinoLiveUpdate23.exe;1;0;0"},
        {"Računi.exe", "TarvinoIzmjBaza23.dll", "Skrite za izmjenu baze/S1.enc"});
    TestInstallation& inst = setup.inst;
    inst.write(QStringLiteral("Update/Update.txt"), "old plan");
    inst.window.tab = 2;
    inst.state.actionMessages = QStringLiteral("old");

    ASSERT_TRUE(NapraviRsŠtoTrebaAžurirati(inst.ctx));

    QStringList expected {"početak", "čitanje rs " + inst.folder() + "Update" + separator() + "Verzije.txt",
                          "čitanje rs " + inst.folder() + "Verzije.txt", "upoređenje što treba ažurirati ",
                          "Treba instalirati: Računi.exe",
                          "Nije pronađen zapis o starim verzija za :Novi.dll pa se mora kopirati",
                          "Treba instalirati: TarvinoIzmjBaza23.dll",
                          // The tool is missing: its line is written, it is still not planned.
                          "Nije nađena datoteka: TarvinoLiveUpdate23.exe pa se mora napraviti", "kraj"};
    for (QString& line : expected)
        line.prepend(kPrefix);
    EXPECT_EQ(inst.journal(), expected);
    EXPECT_EQ(inst.window.tab, 0);
    EXPECT_TRUE(inst.state.actionMessages.isEmpty());
    EXPECT_FALSE(inst.exists(QStringLiteral("Update/Update.txt")));

    QStringList grid;
    for (const PlanGridRow& r : inst.window.plan)
        grid << QStringList {r.name, r.verGl, r.verPom, r.verRev, r.packedSize, r.realSize}.join(';');
    EXPECT_EQ(grid, (QStringList {"Računi.exe;1;0;1;1500;200", "Novi.dll;1;0;0;20;200",
                                  "TarvinoIzmjBaza23.dll;1;1;0;30;200", "S1.enc;1;0;0;40;200"}));
}

TEST(UpdatePlan, EveryManifestFailureStopsWithItsMessage)
{
    const QString stops = QStringLiteral(". Prekida se ažuriranje!");
    const struct {
        const char* file;
        QByteArray content; // none: the file is removed
        QString message;    // %1: the installation folder
        Icon icon;
        QString journalPrefix; // before the text in the journal
        QString reason = {};   // the reader's, on the box's second line
    } cases[] = {
        {"Update/Verzije.txt",
         "A.exe;2;0;0;1;1\r\n",
         kPrefix + "Desila se greška u čitanju zapisa u matricu iz datoteke" + stops,
         Icon::Exclamation,
         {},
         "\r\nGreška u splitu - ima : 5 članova! Datoteka: %1Update/Verzije.txt Red: A.exe;2;0;0;1;1 "},
        {"Verzije.txt",
         {},
         "Ne postoji datoteka: %1Verzije.txt te nije moguće nastaviti sa ažuriranjem. Kontaktirajte Tarvino!",
         Icon::Information,
         "NapraviRsŠtoTrebaAžurirati "},
        {"Verzije.txt",
         "A.exe;1\r\n",
         kPrefix + "Desila se greška u čitanju zapisa u matricu-STARI" + stops,
         Icon::Exclamation,
         {},
         "\r\nGreška u splitu - ima : 1 članova! Datoteka: %1Verzije.txt Red: A.exe;1 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.content.toStdString());
        PlanSetup setup({"A.exe;1;0;0"}, {"A.exe;2;0;0"}, {"A.exe"});
        TestInstallation& inst = setup.inst;
        if (c.content.isEmpty())
            QFile::remove(inst.path(c.file));
        else
            inst.write(c.file, c.content);
        const QString text = c.message.contains("%1") ? c.message.arg(inst.folder()) : c.message;

        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(inst.ctx));
        const QString reason = c.reason.contains("%1") ? c.reason.arg(inst.folder()) : c.reason;
        ASSERT_EQ(inst.window.messageTexts(), QStringList{text + reason});
        EXPECT_EQ(inst.window.messages[0].icon, c.icon);
        EXPECT_EQ(inst.journal().last(), c.journalPrefix + text);
        EXPECT_TRUE(inst.window.plan.empty());
    }
}
