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
        text += row + (row.count(QLatin1Char(';')) == 3 ? QStringLiteral(";100;200;") : QStringLiteral(";")) + CRLF;
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

    int mark(const QString& name) const
    {
        for (int i = 0; i < Matrix::Rows; ++i) {
            if (inst.state.plan.at(i, 0).text() == name)
                return static_cast<int>(inst.state.plan.at(i, 6).number());
        }
        return -1;
    }
};

} // namespace

TEST(UpdatePlan, DecisionsForEveryKindOfRow)
{
    const QString help = QStringLiteral("Windows/Help/");
    const QString scripts = QStringLiteral("Skrite za izmjenu baze/");
    struct Case {
        const char* label;
        QStringList installed;
        QStringList fresh;
        QStringList present; // files relative to the installation folder
        std::vector<std::pair<QString, int>> marks;
        std::int64_t total;
    };
    const std::vector<Case> cases {
        {"main number greater", {"A.exe;1;9;9"}, {"A.exe;2;0;0"}, {"A.exe"}, {{"A.exe", 1}}, 100},
        {"each number on its own: 2.0.0 then 1.5.0", {"A.exe;2;0;0"}, {"A.exe;1;5;0"}, {"A.exe"}, {{"A.exe", 1}}, 100},
        {"older everywhere", {"A.exe;2;5;5"}, {"A.exe;2;5;4"}, {"A.exe"}, {{"A.exe", 0}}, 0},
        {"exe: a bigger size does not count", {"A.exe;1;2;3"}, {"A.exe;1;2;3;900;900"}, {"A.exe"}, {{"A.exe", 0}}, 0},
        {"exe missing from the installation", {"A.exe;1;2;3"}, {"A.exe;1;2;3"}, {}, {{"A.exe", 1}}, 100},
        {"ocx: bigger packed size", {"B.ocx;1;0;0"}, {"B.ocx;1;0;0;101;200"}, {"B.ocx"}, {{"B.ocx", 1}}, 101},
        {"ocx: bigger real size", {"B.ocx;1;0;0"}, {"B.ocx;1;0;0;100;201"}, {"B.ocx"}, {{"B.ocx", 1}}, 100},
        {"chm: packed size grew", {"P.chm;1;0;0"}, {"P.chm;1;0;0;150;200"}, {help + "P.chm"}, {{"P.chm", 1}}, 150},
        {"chm: absent from the help folder", {"P.chm;1;0;0"}, {"P.chm;1;0;0"}, {}, {{"P.chm", 1}}, 100},
        {"chm: present and equal", {"P.chm;1;0;0"}, {"P.chm;1;0;0"}, {help + "P.chm"}, {{"P.chm", 0}}, 0},
        {"enc: absent from the scripts folder", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0"}, {}, {{"S1.enc", 1}}, 100},
        {"enc: present, real size grew", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0;100;300"}, {scripts + "S1.enc"},
         {{"S1.enc", 1}}, 100},
        {"enc: present, packed size grew only", {"S1.enc;1;0;0"}, {"S1.enc;1;0;0;300;200"}, {scripts + "S1.enc"},
         {{"S1.enc", 0}}, 0},
        {"database change: scripts after it come again, scripts before it do not",
         {"S1.enc;1;0;0", "TarvinoIzmjBaza23.dll;1;0;0", "S2.enc;1;0;0"},
         {"S1.enc;1;0;0;7;200", "TarvinoIzmjBaza23.dll;2;0;0;50;200", "S2.enc;1;0;0;9;200"},
         {scripts + "S1.enc", scripts + "S2.enc", "TarvinoIzmjBaza23.dll"},
         {{"S1.enc", 0}, {"TarvinoIzmjBaza23.dll", 1}, {"S2.enc", 1}}, 59},
        {"database change as a new item does not bring the scripts", {"S2.enc;1;0;0"},
         {"TarvinoIzmjBaza23.dll;1;0;0;50;200", "S2.enc;1;0;0"}, {scripts + "S2.enc"},
         {{"TarvinoIzmjBaza23.dll", 1}, {"S2.enc", 0}}, 50},
        {"the tool itself, newer or new, is never planned", {"TarvinoLiveUpdate23.exe;1;0;0"},
         {"TarvinoLiveUpdate23.exe;9;0;0"}, {"TarvinoLiveUpdate23.exe"}, {{"TarvinoLiveUpdate23.exe", 0}}, 0},
        {"names differing in case are different rows", {"racuni.exe;1;0;0"}, {"Racuni.exe;1;0;0"},
         {"Racuni.exe", "racuni.exe"}, {{"Racuni.exe", 1}}, 100},
        {"sizes past 2 GiB add up", {}, {"Velik1.dll;1;0;0;3000000000;200", "Velik2.dll;1;0;0;3000000000;200"}, {},
         {{"Velik1.dll", 1}, {"Velik2.dll", 1}}, 6000000000LL},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PlanSetup setup(c.installed, c.fresh, c.present);
        const bool anyPlanned = std::any_of(c.marks.begin(), c.marks.end(), [](const auto& m) { return m.second == 1; });
        EXPECT_EQ(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx), anyPlanned);
        for (const auto& [name, mark] : c.marks)
            EXPECT_EQ(setup.mark(name), mark) << name.toStdString();
        EXPECT_EQ(setup.inst.state.totalPackedSize, c.total);
        EXPECT_TRUE(setup.inst.window.messages.empty());
    }
}

TEST(UpdatePlan, JournalGridAndOldPlanFile)
{
    PlanSetup setup({"Računi.exe;1;0;0", "TarvinoIzmjBaza23.dll;1;0;0", "S1.enc;1;0;0", "TarvinoLiveUpdate23.exe;1;0;0"},
                    {"Računi.exe;1;0;1;1500;200", "Novi.dll;1;0;0;20;200", "TarvinoIzmjBaza23.dll;1;1;0;30;200",
                     "S1.enc;1;0;0;40;200", "TarvinoLiveUpdate23.exe;1;0;0"},
                    {"Računi.exe", "TarvinoIzmjBaza23.dll", "Skrite za izmjenu baze/S1.enc"});
    TestInstallation& inst = setup.inst;
    inst.write(QStringLiteral("Update/Update.txt"), "old plan");
    inst.window.tab = 2;
    inst.state.actionMessages = QStringLiteral("old");

    ASSERT_TRUE(NapraviRsŠtoTrebaAžurirati(inst.ctx));

    const QString s = separator();
    EXPECT_EQ(inst.journal(),
              (QStringList {
                  kPrefix + "početak",
                  kPrefix + "čitanje rs " + inst.folder() + "Update" + s + "Verzije.txt",
                  kPrefix + "čitanje rs " + inst.folder() + "Verzije.txt",
                  kPrefix + "upoređenje što treba ažurirati ",
                  kPrefix + "Treba instalirati: Računi.exe",
                  kPrefix + "Nije pronađen zapis o starim verzija za :Novi.dll pa se mora kopirati",
                  kPrefix + "Treba instalirati: TarvinoIzmjBaza23.dll",
                  // The tool is missing from the installation: its line is written, it is still not planned.
                  kPrefix + "Nije nađena datoteka: TarvinoLiveUpdate23.exe pa se mora napraviti",
                  kPrefix + "kraj",
              }));
    EXPECT_EQ(inst.window.tab, 0);
    EXPECT_TRUE(inst.state.actionMessages.isEmpty());
    EXPECT_FALSE(inst.exists(QStringLiteral("Update/Update.txt")));
    EXPECT_EQ(inst.state.totalPackedSize, 1590);

    QStringList grid;
    for (const PlanGridRow& r : inst.window.plan)
        grid << QStringList {r.name, r.verGl, r.verPom, r.verRev, r.packedSize, r.realSize}.join(';');
    EXPECT_EQ(grid, (QStringList {"Računi.exe;1;0;1;1500;200", "Novi.dll;1;0;0;20;200",
                                  "TarvinoIzmjBaza23.dll;1;1;0;30;200", "S1.enc;1;0;0;40;200"}));
}

TEST(UpdatePlan, EveryManifestFailureStopsWithItsMessage)
{
    struct Case {
        const char* file;
        QByteArray content; // none: the file is removed
        QString message;    // %1: the installation folder
        Icon icon;
        QString journalPrefix;
    };
    const std::vector<Case> cases {
        {"Update/Verzije.txt", "A.exe;2;0;0;1;1\r\n",
         kPrefix + "Desila se greška u čitanju zapisa u matricu iz datoteke. Prekida se ažuriranje!", Icon::Exclamation},
        {"Verzije.txt", {}, "Ne postoji datoteka: %1Verzije.txt te nije moguće nastaviti sa ažuriranjem. Kontaktirajte Tarvino!",
         Icon::Information, "NapraviRsŠtoTrebaAžurirati "},
        {"Verzije.txt", "A.exe;1\r\n",
         kPrefix + "Desila se greška u čitanju zapisa u matricu-STARI. Prekida se ažuriranje!", Icon::Exclamation},
        // A name that would leave its folder spoils the whole manifest.
        {"Update/Verzije.txt", "A.exe;2;0;0;1;1;\r\n..\\..\\Windows\\evil.dll;1;0;0;1;1;\r\n",
         kPrefix + "Desila se greška u čitanju zapisa u matricu iz datoteke. Prekida se ažuriranje!", Icon::Exclamation},
    };
    for (const Case& c : cases) {
        PlanSetup setup({"A.exe;1;0;0"}, {"A.exe;2;0;0"}, {"A.exe"});
        TestInstallation& inst = setup.inst;
        if (c.content.isEmpty())
            QFile::remove(inst.path(c.file));
        else
            inst.write(c.file, c.content);
        SCOPED_TRACE(std::string(c.file) + ": " + c.content.toStdString());
        const QString text = c.message.contains("%1") ? c.message.arg(inst.folder()) : c.message;

        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(inst.ctx));
        ASSERT_EQ(inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(inst.window.messages[0].icon, c.icon);
        EXPECT_EQ(inst.journal().last(), c.journalPrefix + text);
        EXPECT_TRUE(inst.window.plan.empty());
    }
}
