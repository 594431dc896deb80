#include "../transfer/PackedRelease.h"
#include "InstallFixture.h"
#include "install/UpdateRun.h"

#include <QRegularExpression>

namespace tarvino::test {
namespace {

const QString kDone = QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!");
const QString kEnd = QStringLiteral("********************* KRAJ UPDATE");
const QString kReady = QStringLiteral(
    "Svi novi programi su spremni za ažuriranje.\r\nDa bi instalirali nove programe morate zatvoriti sve otvorene "
    "Tarvino programe!\r\nŽelite li izvršiti ažuriranje/instaliranje novih programa?");

/// A network folder holding one new program packed by the real 7-Zip, and a plan
/// that asks for it; the report designer's store in a folder of the test's own.
class UpdateRunTest : public InstallFixture {
public:
    UpdateRunTest()
    {
        const QString source = inst.root() + QStringLiteral("/mreza") + separator();
        const QByteArray packed = sevenZip(QStringLiteral("Knjigovodstvo.exe"), newProgram);
        put(source, QStringLiteral("Knjigovodstvo.7z"), packed);
        const QByteArray manifest = "Knjigovodstvo.exe;23;1;6;" + QByteArray::number(packed.size()) + ";" +
                                    QByteArray::number(newProgram.size()) + ";0\r\n";
        put(source, QStringLiteral("Verzije.txt"), manifest);
        put(state().updateFolder, QStringLiteral("Verzije.txt"), manifest);
        put(state().installFolder, QStringLiteral("Verzije.txt"), "Knjigovodstvo.exe;23;1;5;10;3;0\r\n");
        put(state().installFolder, QStringLiteral("Knjigovodstvo.exe"), "old");

        AppState& s = state();
        s.sources.regularOption = NetworkFolder;
        s.sources.folders[RegularFolderBox] = source;
        plan(QStringLiteral("Knjigovodstvo.exe"));
        s.plan.at(0, 4) = Cell(QString::number(packed.size()));
        s.plan.at(0, 5) = Cell(QString::number(newProgram.size()));
        s.totalPackedSize = packed.size();
    }
    std::optional<std::uint32_t> setting(const QString& path) { return inst.platform.registry().readDword(native(path)); }

    const QByteArray newProgram = QByteArray("new program of release 23 ").repeated(40);
    const OwnConfigHome home;
};

TEST_F(UpdateRunTest, SuccessfulRunFromANetworkFolder)
{
    inst.window.answer({Answer::Yes});

    DownloadIUpdate(ctx);

    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), newProgram);
    EXPECT_EQ(setting(kMagnificationDenominator), 1u);
    EXPECT_EQ(setting(kMagnificationNumerator), 12u);
    EXPECT_EQ(inst.window.questions, QStringList({kReady}));
    EXPECT_EQ(inst.window.messageTexts().last(), QStringLiteral("Uspješno instalirani novi programi!"));
    // The check ran once more, after the installation's last line.
    const QStringList journal = inst.journal();
    EXPECT_EQ(journal.mid(journal.size() - 2), QStringList({kDone, kEnd}));
    EXPECT_GT(journal.lastIndexOf(QRegularExpression(QStringLiteral("^NapraviRsŠtoTrebaAžurirati - kraj"))),
              journal.indexOf(QStringLiteral("UpdatePrograma - Kraj")));
}

TEST_F(UpdateRunTest, DeclinedRunLeavesTheFetchedFilesAndWritesNothingMore)
{
    inst.window.answer({Answer::No});

    DownloadIUpdate(ctx);

    EXPECT_EQ(get(state().installFolder, QStringLiteral("Knjigovodstvo.exe")), QByteArray("old"));
    EXPECT_EQ(get(state().updateFolder, QStringLiteral("Knjigovodstvo.exe")), newProgram);
    EXPECT_FALSE(setting(kMagnificationDenominator));
    EXPECT_FALSE(inst.journal().contains(kEnd));
}

TEST_F(UpdateRunTest, TrialRunTakesTheTrialChannelsSource)
{
    // Trial: its network folder (missing here), whatever the regular channel says.
    state().trialRun = true;
    state().sources.regularOption = PrimaryServer;
    state().sources.trialOption = NetworkFolder;
    state().sources.folders[TrialFolderBox] = inst.root() + QStringLiteral("/nema") + separator();

    DownloadIUpdate(ctx);

    // A failed fetch asks nothing and ends with its line.
    const QStringList journal = inst.journal();
    EXPECT_TRUE(journal.value(0).startsWith(QStringLiteral("SnimitiSaMrežneLokacije - ")));
    EXPECT_EQ(journal.mid(journal.size() - 2),
              QStringList({QStringLiteral("cmdDownloadAndUpdate_Click Nije uspio snimiti sa interneta/mrežne lokacije"), kEnd}));
    EXPECT_TRUE(inst.window.questions.isEmpty());
}

} // namespace
} // namespace tarvino::test
