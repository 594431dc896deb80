#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "plan/UpdatePlan.h"

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kPrefix = QStringLiteral("NapraviRsŠtoTrebaAžurirati - ");

/// One manifest row: name, three version numbers, packed and real size.
struct Row {
    QString name;
    QString gl = QStringLiteral("1");
    QString pom = QStringLiteral("0");
    QString rev = QStringLiteral("0");
    QString packed = QStringLiteral("100");
    QString real = QStringLiteral("200");
};

QByteArray manifest(const std::vector<Row>& rows)
{
    QString text;
    for (const Row& r : rows)
        text += QStringList {r.name, r.gl, r.pom, r.rev, r.packed, r.real, QString()}.join(';') + QStringLiteral("\r\n");
    return toAnsi(text);
}

/// An installation with its folders derived, an installed and a new manifest.
struct PlanSetup {
    TestInstallation inst;

    PlanSetup(const std::vector<Row>& installed, const std::vector<Row>& fresh,
              const QStringList& presentFiles = {})
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

Row row(const char* name, const char* gl, const char* pom, const char* rev, const char* packed = "100",
        const char* real = "200")
{
    return {QString::fromUtf8(name), QString::fromUtf8(gl), QString::fromUtf8(pom), QString::fromUtf8(rev),
            QString::fromUtf8(packed), QString::fromUtf8(real)};
}

} // namespace

TEST(UpdatePlan, DecisionsForEveryKindOfRow)
{
    const QString help = QStringLiteral("Windows/Help/");
    const QString scripts = QStringLiteral("Skrite za izmjenu baze/");
    struct Case {
        const char* label;
        std::vector<Row> installed;
        std::vector<Row> fresh;
        QStringList present; // files relative to the installation folder
        std::vector<std::pair<QString, int>> marks;
        std::int64_t total;
    };
    const std::vector<Case> cases {
        {"main number greater", {row("A.exe", "1", "9", "9")}, {row("A.exe", "2", "0", "0")}, {"A.exe"},
         {{"A.exe", 1}}, 100},
        {"each number on its own: 2.0.0 then 1.5.0", {row("A.exe", "2", "0", "0")}, {row("A.exe", "1", "5", "0")},
         {"A.exe"}, {{"A.exe", 1}}, 100},
        {"older everywhere", {row("A.exe", "2", "5", "5")}, {row("A.exe", "2", "5", "4")}, {"A.exe"}, {{"A.exe", 0}}, 0},
        {"exe: a bigger size does not count", {row("A.exe", "1", "2", "3", "100")},
         {row("A.exe", "1", "2", "3", "900", "900")}, {"A.exe"}, {{"A.exe", 0}}, 0},
        {"exe missing from the installation", {row("A.exe", "1", "2", "3")}, {row("A.exe", "1", "2", "3")}, {},
         {{"A.exe", 1}}, 100},
        {"ocx: bigger packed size", {row("B.ocx", "1", "0", "0", "100", "200")},
         {row("B.ocx", "1", "0", "0", "101", "200")}, {"B.ocx"}, {{"B.ocx", 1}}, 101},
        {"ocx: bigger real size", {row("B.ocx", "1", "0", "0", "100", "200")},
         {row("B.ocx", "1", "0", "0", "100", "201")}, {"B.ocx"}, {{"B.ocx", 1}}, 100},
        {"chm: packed size grew", {row("P.chm", "1", "0", "0", "100")}, {row("P.chm", "1", "0", "0", "150")},
         {help + "P.chm"}, {{"P.chm", 1}}, 150},
        {"chm: absent from the help folder", {row("P.chm", "1", "0", "0")}, {row("P.chm", "1", "0", "0")}, {},
         {{"P.chm", 1}}, 100},
        {"chm: present and equal", {row("P.chm", "1", "0", "0")}, {row("P.chm", "1", "0", "0")}, {help + "P.chm"},
         {{"P.chm", 0}}, 0},
        {"enc: absent from the scripts folder", {row("S1.enc", "1", "0", "0")}, {row("S1.enc", "1", "0", "0")}, {},
         {{"S1.enc", 1}}, 100},
        {"enc: present, real size grew", {row("S1.enc", "1", "0", "0", "100", "200")},
         {row("S1.enc", "1", "0", "0", "100", "300")}, {scripts + "S1.enc"}, {{"S1.enc", 1}}, 100},
        {"enc: present, packed size grew only", {row("S1.enc", "1", "0", "0", "100", "200")},
         {row("S1.enc", "1", "0", "0", "300", "200")}, {scripts + "S1.enc"}, {{"S1.enc", 0}}, 0},
        {"database change: scripts after it come again, scripts before it do not",
         {row("S1.enc", "1", "0", "0"), row("TarvinoIzmjBaza23.dll", "1", "0", "0"), row("S2.enc", "1", "0", "0")},
         {row("S1.enc", "1", "0", "0", "7"), row("TarvinoIzmjBaza23.dll", "2", "0", "0", "50"),
          row("S2.enc", "1", "0", "0", "9")},
         {scripts + "S1.enc", scripts + "S2.enc", "TarvinoIzmjBaza23.dll"},
         {{"S1.enc", 0}, {"TarvinoIzmjBaza23.dll", 1}, {"S2.enc", 1}}, 59},
        {"database change as a new item does not bring the scripts", {row("S2.enc", "1", "0", "0")},
         {row("TarvinoIzmjBaza23.dll", "1", "0", "0", "50"), row("S2.enc", "1", "0", "0")}, {scripts + "S2.enc"},
         {{"TarvinoIzmjBaza23.dll", 1}, {"S2.enc", 0}}, 50},
        {"the tool itself, newer or new, is never planned", {row("TarvinoLiveUpdate23.exe", "1", "0", "0")},
         {row("TarvinoLiveUpdate23.exe", "9", "0", "0")}, {"TarvinoLiveUpdate23.exe"},
         {{"TarvinoLiveUpdate23.exe", 0}}, 0},
        {"names differing in case are different rows", {row("racuni.exe", "1", "0", "0")},
         {row("Racuni.exe", "1", "0", "0")}, {"Racuni.exe", "racuni.exe"}, {{"Racuni.exe", 1}}, 100},
        {"sizes past 2 GiB add up", {},
         {row("Velik1.dll", "1", "0", "0", "3000000000"), row("Velik2.dll", "1", "0", "0", "3000000000")}, {},
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
    PlanSetup setup({row("Računi.exe", "1", "0", "0"), row("TarvinoIzmjBaza23.dll", "1", "0", "0"),
                     row("S1.enc", "1", "0", "0"), row("TarvinoLiveUpdate23.exe", "1", "0", "0")},
                    {row("Računi.exe", "1", "0", "1", "1500"), row("Novi.dll", "1", "0", "0", "20"),
                     row("TarvinoIzmjBaza23.dll", "1", "1", "0", "30"), row("S1.enc", "1", "0", "0", "40"),
                     row("TarvinoLiveUpdate23.exe", "1", "0", "0")},
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
    EXPECT_EQ(setup.mark(QStringLiteral("S1.enc")), 1);
    EXPECT_EQ(inst.state.totalPackedSize, 1590);

    ASSERT_EQ(inst.window.plan.size(), 4u);
    EXPECT_EQ(inst.window.plan[0].name, QStringLiteral("Računi.exe"));
    EXPECT_EQ(inst.window.plan[0].verRev, QStringLiteral("1"));
    EXPECT_EQ(inst.window.plan[0].packedSize, QStringLiteral("1500"));
    EXPECT_EQ(inst.window.plan[3].name, QStringLiteral("S1.enc"));
}

TEST(UpdatePlan, NothingNewShowsTheStatusText)
{
    PlanSetup setup({row("A.exe", "1", "0", "0")}, {row("A.exe", "1", "0", "0")}, {"A.exe"});
    EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
    EXPECT_TRUE(setup.inst.window.plan.empty());
    EXPECT_EQ(setup.inst.window.status(Panel::Action), QStringLiteral("Nema novih verzija Tarvino programa!"));
    EXPECT_TRUE(setup.inst.window.messages.empty());
}

TEST(UpdatePlan, UnreadableOrMissingManifestsStopWithTheirMessage)
{
    {
        SCOPED_TRACE("new manifest unreadable");
        PlanSetup setup({row("A.exe", "2", "0", "0")}, {});
        setup.inst.write(QStringLiteral("Update/Verzije.txt"), "A.exe;2;0;0;1;1\r\n");
        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
        const QString text =
            kPrefix + "Desila se greška u čitanju zapisa u matricu iz datoteke. Prekida se ažuriranje!";
        EXPECT_EQ(setup.inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(setup.inst.window.messages[0].icon, Icon::Exclamation);
        EXPECT_EQ(setup.inst.journal().last(), text);
    }
    {
        SCOPED_TRACE("installed manifest missing");
        PlanSetup setup({}, {row("A.exe", "2", "0", "0")});
        QFile::remove(setup.inst.path(QStringLiteral("Verzije.txt")));
        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
        const QString text = "Ne postoji datoteka: " + setup.inst.folder() +
                             "Verzije.txt te nije moguće nastaviti sa ažuriranjem. Kontaktirajte Tarvino!";
        EXPECT_EQ(setup.inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(setup.inst.window.messages[0].icon, Icon::Information);
        EXPECT_EQ(setup.inst.journal().last(), "NapraviRsŠtoTrebaAžurirati " + text);
    }
    {
        SCOPED_TRACE("installed manifest unreadable");
        PlanSetup setup({}, {row("A.exe", "2", "0", "0")});
        setup.inst.write(QStringLiteral("Verzije.txt"), "A.exe;1\r\n");
        EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
        const QString text = kPrefix + "Desila se greška u čitanju zapisa u matricu-STARI. Prekida se ažuriranje!";
        EXPECT_EQ(setup.inst.window.messageTexts(), QStringList {text});
        EXPECT_EQ(setup.inst.journal().last(), text);
    }
}

TEST(UpdatePlan, ManifestWithAnUnsafeNamePlansNothing)
{
    PlanSetup setup({row("A.exe", "1", "0", "0")},
                    {row("A.exe", "2", "0", "0"), row("..\\..\\Windows\\evil.dll", "1", "0", "0")});
    EXPECT_FALSE(NapraviRsŠtoTrebaAžurirati(setup.inst.ctx));
    for (int i = 0; i < Matrix::Rows; ++i)
        EXPECT_FALSE(isPlanned(setup.inst.state.plan, i));
    EXPECT_TRUE(setup.inst.window.plan.empty());
    EXPECT_TRUE(setup.inst.journal().join('\n').contains(QStringLiteral("Neispravno ime datoteke")));
}
