#include "distribution/Distribution.h"

#include "ServedInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

// A release on the update server and an empty distribution folder beside the installation.
struct Site : ServedInstallation {
    Site()
    {
        QDir().mkpath(folder());
        // Typed without the closing separator.
        inst.state.sources.folders[DistributionFolderBox] = folder().chopped(1);
        put(QStringLiteral("VerzijeU.txt"), "VerzijeU 1\r\n");
        put(QStringLiteral("TeamViewerQS.exe"), "support program");
    }

    QString folder() const { return inst.path(QStringLiteral("Dist")) + separator(); }
    QByteArray read(const QString& name) const { return inst.read(QStringLiteral("Dist/") + name); }
    /// The archives requested from the server, in order.
    QString fetched() const
    {
        return QStringList(server.requests)
            .filter(QStringLiteral(".7z"))
            .replaceInStrings(url({}), QString())
            .join(u' ');
    }

    /// Publishes rows of these names and distributes them into the empty folder.
    void distributeFirst(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            rows.push_back({.name = QString::fromUtf8(name)});
        publish();
        inst.window.answer({Answer::Yes});
        ASSERT_TRUE(DownloadNaLokaciju(inst.ctx, false));
        server.requests.clear();
        inst.window.messages.clear();
    }
};

} // namespace

TEST(Distribution, FirstDistributionAsksThenCopiesTheWholeRelease)
{
    Site site;
    // A workstation that never checked has no Update folder for its journal yet.
    QDir(site.update({})).removeRecursively();
    site.rows = {{.name = QStringLiteral("Računi.exe")},
                 {.name = QStringLiteral("Pomoc.chm")},
                 {.name = QStringLiteral("TarvinoIzmjBaza23.dll")},
                 {.name = QStringLiteral("Skripta.enc")}};
    site.publish();
    RecordingWindow& w = site.inst.window;
    // Asked in an unattended run too; No copies nothing.
    w.answer({Answer::No});
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_TRUE(site.fetched().isEmpty() && !QFile::exists(site.folder() + QStringLiteral("Verzije.txt")));
    w.answer({Answer::Yes});
    PrenesiNaLokaciju(site.inst.ctx, true);

    EXPECT_EQ(w.questions.size(), 2);
    EXPECT_TRUE(w.questions.value(0).startsWith(QStringLiteral("Ne postoji datoteka: ") + site.folder()));
    EXPECT_EQ(site.inst.state.sources.folders[DistributionFolderBox], site.folder());
    qint64 total = 0;
    for (const Row& r : site.rows) {
        EXPECT_EQ(site.read(packedName(r.name)), r.packed) << r.name.toStdString();
        total += r.packed.size();
    }
    EXPECT_EQ(site.fetched(), QStringLiteral("Racuni.7z Pomoc.7z TarvinoIzmjBaza23.7z Skripta.7z"));
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")) + site.read(QStringLiteral("VerzijeU.txt")),
              manifest(site.rows) + "VerzijeU 1\r\n");
    // Only the closing box: the journal found its folder.
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(
        w.messageTexts().value(0).contains(QStringLiteral("Ukupno prenesno: %1 bajtova.").arg(total)));
}

TEST(Distribution, FolderChecksStopBeforeAnythingIsFetched)
{
    Site site;
    site.rows = {{.name = QStringLiteral("Racuni.exe")}};
    site.publish();
    // An empty box is no folder, not the root of the drive.
    site.inst.state.sources.folders[DistributionFolderBox] = QString();
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, true));
    EXPECT_TRUE(
        site.inst.window.messageTexts().value(0).startsWith(QStringLiteral("Ne postoji unesena lokacija")));
    site.inst.state.sources.folders[DistributionFolderBox] = site.inst.root() + QStringLiteral("/Nema");
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(site.inst.window.messages.size(), 1u);
    site.inst.state.sources.folders[DistributionFolderBox] = site.folder();
    site.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Dist");
    EXPECT_THROW(DownloadNaLokaciju(site.inst.ctx, false), ProgramEnded);
    EXPECT_TRUE(site.server.requests.isEmpty());
}

TEST(Distribution, OnlyChangedWrongSizedOrMissingArchivesAreFetchedAgain)
{
    Site site;
    site.distributeFirst({"Računi.exe", "Plata.exe", "Kasa.dll", "Isti.exe"});
    ASSERT_TRUE(QFile(site.folder() + QStringLiteral("Racuni.7z")).resize(3));
    QFile::remove(site.folder() + QStringLiteral("Plata.7z"));
    site.rows[2].revision = 1;
    // The server's archive no longer matches its own manifest.
    site.rows[1].packed.chop(1);
    site.rows[1].packedSize = site.rows[1].packed.size() + 1;
    site.publish();

    PrenesiNaLokaciju(site.inst.ctx, true);
    EXPECT_EQ(site.fetched(), QStringLiteral("Racuni.7z Plata.7z Kasa.7z"));
    EXPECT_EQ(site.read(QStringLiteral("Racuni.7z")), site.rows[0].packed);
    // The other rows went on and the run still counts as done.
    ASSERT_EQ(site.inst.window.messages.size(), 2u);
    EXPECT_TRUE(site.inst.window.messages[0].text.startsWith(
        QStringLiteral("Veličina presnimljene datoteke Plata.7z")));
    EXPECT_TRUE(site.inst.window.messages[1].text.startsWith(QStringLiteral("Uspješno skinuti programi")));
}

TEST(Distribution, HelpScriptAndControlRowsFollowWhatWasFetchedBeforeThem)
{
    Site site;
    site.distributeFirst({"Pomoc1.chm", "Skripta1.enc", "Računi.exe", "Pomoc2.chm", "Skripta2.enc",
                          "Grid1.ocx", "Tabela.ocx", "TarvinoIzmjBaza23.dll", "Skripta3.enc", "Grid2.ocx",
                          "Plata.exe"});
    site.rows[2].revision = 1;        // Računi.exe
    site.rows[6].unpackedSize = 1001; // Tabela.ocx
    site.rows[7].minor = 2;           // TarvinoIzmjBaza23.dll
    site.publish();

    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(site.fetched(),
              QStringLiteral("Racuni.7z Pomoc2.7z Tabela.7z TarvinoIzmjBaza23.7z Skripta3.7z Grid2.7z"));
}

TEST(Distribution, FetchFailingMidRowsLeavesTheOldManifestsAndTheNextRunCompletes)
{
    Site site;
    site.distributeFirst({"A.exe", "B.exe", "C.exe", "D.exe"});
    const QByteArray oldManifest = manifest(site.rows);
    site.rows[1].major = site.rows[2].major = 24;
    site.publish();
    site.put(QStringLiteral("VerzijeU.txt"), "VerzijeU 2\r\n");
    site.server.answers[site.url(QStringLiteral("C.7z"))] = {.status = 404};

    PrenesiNaLokaciju(site.inst.ctx, true);
    EXPECT_EQ(site.fetched(), QStringLiteral("B.7z C.7z"));
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")) + site.read(QStringLiteral("VerzijeU.txt")),
              oldManifest + "VerzijeU 1\r\n");
    EXPECT_FALSE(site.inst.window.transferTimerRunning || site.inst.window.progressVisible);
    EXPECT_TRUE(site.inst.window.messageTexts().last().startsWith(
        QStringLiteral("Upozorenje. Nisu uspješno skinuti programi na lokaciju ") + site.folder()));

    site.publish();
    site.server.requests.clear();
    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(site.fetched(), QStringLiteral("B.7z C.7z"));
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")), manifest(site.rows));
    EXPECT_EQ(site.read(QStringLiteral("C.7z")), site.rows[2].packed);
}

TEST(Distribution, ManifestThatCannotBeCopiedFailsTheRun)
{
    Site site;
    site.rows = {{.name = QStringLiteral("A.exe")}};
    site.publish();
    site.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt");
    site.inst.window.answer({Answer::Yes});

    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_FALSE(QFile::exists(site.folder() + QStringLiteral("Verzije.txt")));
    EXPECT_EQ(site.inst.window.errorPane,
              QStringLiteral("\r\nGreška u kopiranju Verzije.txt Access is denied."));
}
