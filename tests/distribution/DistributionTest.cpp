#include "distribution/Distribution.h"

#include "ServedInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace Qt::StringLiterals;
using namespace tarvino::test;

// A workstation that never checked has no Update folder for its journal yet. An empty box is no
// folder (not the root of the drive) and a missing folder is not made; No to the first question
// copies nothing, Yes the whole release. A fetch failing midway, then the manifest failing to copy,
// fail the run and leave the old manifests. The run that completes fetches only what changed, went
// missing or has the wrong size; help, script and control rows follow what was fetched before them;
// a server archive that no longer matches its own manifest is reported and the other rows go on.
TEST(Distribution, RefusedOrFailedRunsKeepTheOldManifestsAndARunFetchesOnlyWhatChanged)
{
    ServedInstallation site;
    const QString folder = site.inst.path(u"Dist"_s) + separator();
    const auto read = [&site](const QString& name) { return site.inst.read(u"Dist/"_s + name); };
    const auto manifests = [&read] { return read(u"Verzije.txt"_s) + read(u"VerzijeU.txt"_s); };
    QDir().mkpath(folder);
    site.inst.state.sources.folders[DistributionFolderBox] = folder.chopped(1); // as typed, no separator
    site.put(u"VerzijeU.txt"_s, "VerzijeU 1\r\n");
    site.put(u"TeamViewerQS.exe"_s, "support program");
    for (const char* name :
         {"Pomoc1.chm", "Skripta1.enc", "Računi.exe", "Pomoc2.chm", "Skripta2.enc", "Grid1.ocx", "Tabela.ocx",
          "TarvinoIzmjBaza23.dll", "Skripta3.enc", "Grid2.ocx", "Plata.exe", "Kasa.exe"})
        site.rows.push_back({.name = QString::fromUtf8(name)});
    site.publish();
    QDir(site.update({})).removeRecursively();
    for (const QString& folder : {QString(), site.inst.root() + u"/Nema"_s}) {
        site.inst.state.sources.folders[DistributionFolderBox] = folder;
        EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    }
    site.inst.state.sources.folders[DistributionFolderBox] = folder;
    site.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Dist");
    EXPECT_THROW(DownloadNaLokaciju(site.inst.ctx, false), ProgramEnded);
    EXPECT_TRUE(site.server.requests.isEmpty() && !QDir(site.inst.root()).exists(u"Nema"_s));
    site.inst.window.answer({Answer::No, Answer::Yes});
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_TRUE(site.fetched().isEmpty() && !QFile::exists(folder + u"Verzije.txt"_s));
    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, false));
    for (const Row& r : site.rows)
        EXPECT_EQ(read(packedName(r.name)), r.packed) << r.name.toStdString();
    const QByteArray oldManifest = manifest(site.rows);
    EXPECT_EQ(manifests(), oldManifest + "VerzijeU 1\r\n");

    site.rows[2].revision = 1;        // Računi.exe
    site.rows[6].unpackedSize = 1001; // Tabela.ocx
    site.rows[7].minor = 2;           // TarvinoIzmjBaza23.dll
    site.rows[10].packed.chop(1);     // Plata.exe
    site.rows[10].packedSize = site.rows[10].packed.size() + 1;
    site.publish();
    site.put(u"VerzijeU.txt"_s, "VerzijeU 2\r\n");
    QFile::remove(folder + u"Plata.7z"_s);
    ASSERT_TRUE(QFile(folder + u"Kasa.7z"_s).resize(3));
    site.server.answers[site.url(u"Tabela.7z"_s)] = {.status = 404};
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(manifests(), oldManifest + "VerzijeU 1\r\n");
    site.publish();
    site.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt");
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(read(u"Verzije.txt"_s), oldManifest);

    site.server.requests.clear();
    site.inst.window.messages.clear();
    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, true));
    // Kasa.7z came back with an earlier run.
    EXPECT_EQ(site.fetched(),
              u"Racuni.7z Pomoc2.7z Tabela.7z TarvinoIzmjBaza23.7z Skripta3.7z Grid2.7z Plata.7z"_s);
    EXPECT_EQ(manifests() + read(u"Kasa.7z"_s),
              manifest(site.rows) + "VerzijeU 2\r\n" + site.rows[11].packed);
    EXPECT_TRUE(
        site.inst.window.messageTexts().value(0).startsWith(u"Veličina presnimljene datoteke Plata.7z"_s));
}
