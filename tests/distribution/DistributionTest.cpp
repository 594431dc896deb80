#include "distribution/Distribution.h"

#include "TestHttpServer.h"
#include "TestInstallation.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kBase = QStringLiteral("/download/Verzija23/");

struct Item {
    QString name;
    int gl = 1;
    int pom = 0;
    int rev = 0;
    qint64 packedSize = 100;
    qint64 realSize = 1000;
    // What the server sends for the archive; by default `packedSize` bytes.
    std::optional<QByteArray> body;

    QByteArray archive() const
    {
        QByteArray bytes = (name + QStringLiteral(" %1.%2.%3 ").arg(gl).arg(pom).arg(rev)).toUtf8();
        bytes.resize(packedSize, 'z');
        return body.value_or(bytes);
    }
};

// An update server on 127.0.0.1 publishing a release, and an empty distribution
// folder beside the installation.
struct Site {
    Site()
    {
        inst.state.sources.primaryServer = server.hostAndPort();
        inst.state.sources.regularOption = PrimaryServer;
        inst.state.sources.useChilkat = false;
        inst.state.fetchStallTimeout = 20s;
        QDir().mkpath(folder());
        // Typed without the closing separator.
        inst.state.sources.folders[DistributionFolderBox] = folder().chopped(1);
    }

    QByteArray manifest() const
    {
        QString text;
        for (const Item& i : items)
            text += QStringLiteral("%1;%2;%3;%4;%5;%6;0\r\n")
                        .arg(i.name, QString::number(i.gl), QString::number(i.pom), QString::number(i.rev),
                             QString::number(i.packedSize), QString::number(i.realSize));
        return toAnsi(text);
    }

    void publish(const QByteArray& verzijeU = "VerzijeU 1\r\n")
    {
        server.serve(kBase + QStringLiteral("Verzije.txt"), manifest());
        server.serve(kBase + QStringLiteral("VerzijeU.txt"), verzijeU);
        server.serve(kBase + QStringLiteral("TeamViewerQS.exe"), "support program");
        for (const Item& i : items)
            server.serve(kBase + packedName(i.name), i.archive());
    }

    /// First distribution into the empty folder, operator answering Yes.
    void distributeFirst()
    {
        publish();
        inst.window.answer({Answer::Yes});
        ASSERT_TRUE(DownloadNaLokaciju(inst.ctx, false));
        server.requests.clear();
        inst.window.messages.clear();
        inst.window.questions.clear();
    }

    QString folder() const
    {
        return QDir::toNativeSeparators(inst.root() + QStringLiteral("/Dist")) + separator();
    }
    QByteArray read(const QString& name) const
    {
        QFile f(folder() + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    /// The archives requested from the server, in order.
    QStringList fetchedArchives() const
    {
        return QStringList(server.requests).filter(QStringLiteral(".7z")).replaceInStrings(kBase, QString());
    }

    TestInstallation inst;
    TestHttpServer server;
    std::vector<Item> items;
};

QString lines(const QStringList& list)
{
    return list.isEmpty() ? QString() : CRLF + list.join(CRLF);
}

const QString kCopied =
    lines({QStringLiteral("Kopirano Verzije.txt"), QStringLiteral("Kopirano VerzijeU.txt")});

} // namespace

TEST(Distribution, FirstDistributionAsksThenCopiesTheWholeRelease)
{
    Site site;
    // A workstation that never checked has no Update folder for its journal yet.
    QDir(site.inst.path(QStringLiteral("Update"))).removeRecursively();
    site.items = {{.name = QStringLiteral("Računi.exe"), .gl = 2, .pom = 1, .packedSize = 300},
                  {.name = QStringLiteral("Pomoc.chm"), .packedSize = 150},
                  {.name = QStringLiteral("TarvinoIzmjBaza23.dll"), .gl = 3, .packedSize = 250},
                  {.name = QStringLiteral("Skripta.enc"), .packedSize = 50}};
    site.publish();
    RecordingWindow& w = site.inst.window;
    const QString question =
        QStringLiteral("Ne postoji datoteka: ") + site.folder() +
        QStringLiteral("Verzije.txt. Kopiraju se sve datoteke. Želite li nastaviti sa download-om?");

    // Asked in an unattended run too; No copies nothing.
    w.answer({Answer::No});
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(w.questions, QStringList{question});
    EXPECT_TRUE(site.fetchedArchives().isEmpty());
    EXPECT_FALSE(QFile::exists(site.folder() + QStringLiteral("Verzije.txt")));

    w.answer({Answer::Yes});
    PrenesiNaLokaciju(site.inst.ctx, true);

    EXPECT_EQ(site.inst.state.sources.folders[DistributionFolderBox], site.folder());
    EXPECT_EQ(w.questions, (QStringList{question, question}));
    EXPECT_EQ(site.fetchedArchives(),
              (QStringList{QStringLiteral("Racuni.7z"), QStringLiteral("Pomoc.7z"),
                           QStringLiteral("TarvinoIzmjBaza23.7z"), QStringLiteral("Skripta.7z")}));
    for (const Item& i : site.items)
        EXPECT_EQ(site.read(packedName(i.name)), i.archive()) << i.name.toStdString();
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")) + site.read(QStringLiteral("VerzijeU.txt")),
              site.manifest() + "VerzijeU 1\r\n");
    EXPECT_EQ(std::make_tuple(w.actionPane, w.errorPane, w.transferTimerRunning),
              std::make_tuple(kCopied, QString(), false));
    // Only the closing box: the journal found its folder.
    EXPECT_EQ(w.messageTexts(), QStringList{QStringLiteral("Uspješno skinuti programi na lokaciju ") +
                                            site.folder() + QStringLiteral(" ") + CRLF + CRLF +
                                            QStringLiteral("Ukupno prenesno: 750 bajtova.") + CRLF +
                                            QStringLiteral("Sada je moguće ažuriranje za ostala računala!")});
}

TEST(Distribution, FolderChecksStopBeforeAnythingIsFetched)
{
    Site site;
    site.items = {{.name = QStringLiteral("Racuni.exe")}};
    site.publish();
    RecordingWindow& w = site.inst.window;

    // An empty box is no folder, not the root of the drive.
    site.inst.state.sources.folders[DistributionFolderBox] = QString();
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, true));
    EXPECT_TRUE(w.messageTexts().value(0).startsWith(QStringLiteral("Ne postoji unesena lokacija")));

    site.inst.state.sources.folders[DistributionFolderBox] = site.inst.root() + QStringLiteral("/Nema");
    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(w.messages.size(), 1u);

    site.inst.state.sources.folders[DistributionFolderBox] = site.folder();
    site.inst.platform.faultyFiles.fail(FileOp::CreateFolder, "Dist");
    EXPECT_THROW(DownloadNaLokaciju(site.inst.ctx, false), ProgramEnded);
    EXPECT_TRUE(site.server.requests.isEmpty());
}

TEST(Distribution, SecondRunOfAnUnchangedReleaseFetchesNoArchive)
{
    Site site;
    QStringList same;
    // More rows than the bar's range: it goes round instead of stopping full.
    for (int n = 0; n < 35; ++n) {
        site.items.push_back({.name = QStringLiteral("Program%1.exe").arg(n), .pom = n, .packedSize = 100 + n});
        same << QStringLiteral("Ista verzija: Program%1.exe").arg(n);
    }
    site.distributeFirst();

    PrenesiNaLokaciju(site.inst.ctx, false);

    EXPECT_EQ(site.server.requests,
              (QStringList{kBase + QStringLiteral("Verzije.txt"), kBase + QStringLiteral("VerzijeU.txt")}));
    const RecordingWindow& w = site.inst.window;
    EXPECT_EQ(std::make_tuple(site.inst.state.totalTransferred, w.actionPane, w.errorPane, w.progressValue),
              std::make_tuple(qint64{0}, lines(same) + kCopied, QString(), 35.0 - 29));
    EXPECT_TRUE(w.questions.isEmpty() && w.messages.empty());
}

TEST(Distribution, WrongSizedOrMissingArchiveIsFetchedAgain)
{
    Site site;
    site.items = {{.name = QStringLiteral("Računi.exe"), .packedSize = 300},
                  {.name = QStringLiteral("Plata.exe"), .packedSize = 200},
                  {.name = QStringLiteral("Kasa.dll"), .packedSize = 120}};
    site.distributeFirst();
    ASSERT_TRUE(QFile(site.folder() + QStringLiteral("Racuni.7z")).resize(3));
    QFile::remove(site.folder() + QStringLiteral("Plata.7z"));
    // The server's archive no longer matches its own manifest.
    site.items[1].body = QByteArray(199, 'p');
    site.publish();

    PrenesiNaLokaciju(site.inst.ctx, true);

    EXPECT_EQ(site.fetchedArchives(), (QStringList{QStringLiteral("Racuni.7z"), QStringLiteral("Plata.7z")}));
    EXPECT_TRUE(site.read(QStringLiteral("Racuni.7z")) == site.items[0].archive() &&
                site.inst.state.totalTransferred == 500);
    // The other rows went on and the run still counts as done.
    ASSERT_EQ(site.inst.window.messages.size(), 2u);
    EXPECT_TRUE(site.inst.window.messages[0].text.startsWith(
        QStringLiteral("Veličina presnimljene datoteke Plata.7z je 199, a veličina originalne datoteke je 200")));
    EXPECT_TRUE(site.inst.window.messages[1].text.startsWith(QStringLiteral("Uspješno skinuti programi")));
}

TEST(Distribution, HelpScriptAndControlRowsFollowWhatWasFetchedBeforeThem)
{
    Site site;
    for (const char* name :
         {"Pomoc1.chm", "Skripta1.enc", "Računi.exe", "Pomoc2.chm", "Skripta2.enc", "Grid1.ocx", "Tabela.ocx",
          "TarvinoIzmjBaza23.dll", "Skripta3.enc", "Grid2.ocx", "Plata.exe"})
        site.items.push_back({.name = QString::fromUtf8(name)});
    site.distributeFirst();
    site.items[2].rev = 1;         // Računi.exe
    site.items[6].realSize = 1001; // Tabela.ocx
    site.items[7].pom = 2;         // TarvinoIzmjBaza23.dll
    site.publish();

    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, false));

    EXPECT_EQ(site.fetchedArchives(),
              (QStringList{QStringLiteral("Racuni.7z"), QStringLiteral("Pomoc2.7z"),
                           QStringLiteral("Tabela.7z"), QStringLiteral("TarvinoIzmjBaza23.7z"),
                           QStringLiteral("Skripta3.7z"), QStringLiteral("Grid2.7z")}));
    EXPECT_EQ(site.read(QStringLiteral("Racuni.7z")), site.items[2].archive());
}

TEST(Distribution, FetchFailingMidRowsLeavesTheOldManifests)
{
    Site site;
    for (const char* name : {"A.exe", "B.exe", "C.exe", "D.exe"})
        site.items.push_back({.name = QString::fromUtf8(name)});
    site.distributeFirst();
    const QByteArray oldManifest = site.manifest();
    site.items[1].gl = 2;
    site.items[2].gl = 2;
    site.publish("VerzijeU 2\r\n");
    site.server.answerStatus(kBase + QStringLiteral("C.7z"), 404);
    RecordingWindow& w = site.inst.window;
    w.actionPane = QStringLiteral("prethodno");

    PrenesiNaLokaciju(site.inst.ctx, true);

    EXPECT_EQ(site.fetchedArchives(), (QStringList{QStringLiteral("B.7z"), QStringLiteral("C.7z")}));
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")) + site.read(QStringLiteral("VerzijeU.txt")),
              oldManifest + "VerzijeU 1\r\n");
    EXPECT_EQ(w.actionPane, QStringLiteral("prethodno"));
    EXPECT_FALSE(w.transferTimerRunning || w.progressVisible);
    ASSERT_FALSE(w.messages.empty());
    EXPECT_TRUE(w.messages.back().text.startsWith(
        QStringLiteral("Upozorenje. Nisu uspješno skinuti programi na lokaciju ") + site.folder()));
    // B arrived, C did not.
    EXPECT_TRUE(w.messages.back().text.endsWith(QStringLiteral("Ukupno prenesno: 100 bajtova.")));

    // The next run compares against the old manifest again and completes the folder.
    site.publish("VerzijeU 2\r\n");
    site.server.requests.clear();
    EXPECT_TRUE(DownloadNaLokaciju(site.inst.ctx, false));
    EXPECT_EQ(site.fetchedArchives(), (QStringList{QStringLiteral("B.7z"), QStringLiteral("C.7z")}));
    EXPECT_EQ(site.read(QStringLiteral("Verzije.txt")), site.manifest());
    EXPECT_EQ(site.read(QStringLiteral("C.7z")), site.items[2].archive());
}

TEST(Distribution, ManifestThatCannotBeCopiedFailsTheRun)
{
    Site site;
    site.items = {{.name = QStringLiteral("A.exe")}};
    site.publish();
    site.inst.platform.faultyFiles.fail(FileOp::Copy, "Verzije.txt");
    site.inst.window.answer({Answer::Yes});

    EXPECT_FALSE(DownloadNaLokaciju(site.inst.ctx, false));

    EXPECT_FALSE(QFile::exists(site.folder() + QStringLiteral("Verzije.txt")));
    EXPECT_EQ(std::make_pair(site.inst.window.actionPane, site.inst.window.errorPane),
              std::make_pair(lines({QStringLiteral("Kopirano VerzijeU.txt")}),
                             lines({QStringLiteral("Greška u kopiranju Verzije.txt Access is denied.")})));
}
