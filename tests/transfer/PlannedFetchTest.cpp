#include "PackedRelease.h"
#include "TestHttpServer.h"
#include "transfer/InternetFetch.h"
#include "transfer/NetworkFetch.h"

#include <QDir>
#include <QFile>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QString kRegular = QStringLiteral("/download/Verzija23/");
const QString kDiffers = QStringLiteral(
    " i one nisu iste. Moguća greška u prijenosu datoteke. Ponovite postupak. Prekida se ažuriranje!");

QString sizeLine(const QString& name, qint64 size, qint64 expected)
{
    return QStringLiteral("Veličina presnimljene datoteke %1 je %2, a veličina originalne datoteke je %3")
        .arg(name, QString::number(size), QString::number(expected));
}

// A release both on an update server on 127.0.0.1 (plain http) and in a folder as
// another workstation's distribution leaves it.
struct Release : PackedRelease {
    Release()
    {
        inst.state.sources.primaryServer = server.hostAndPort();
        inst.state.sources.regularOption = PrimaryServer;
        inst.state.sources.useChilkat = false;
        inst.state.fetchStallTimeout = 20s;
        useFolder(QStringLiteral("Mreza"), RegularFolderBox);
    }
    void useFolder(const QString& name, int box)
    {
        source = inst.root() + QLatin1Char('/') + name + QLatin1Char('/');
        QDir().mkpath(source);
        inst.state.sources.folders[box] = source;
    }
    // Each into the next row of the plan, onto the server and into the folder.
    void release(std::initializer_list<const Published*> published)
    {
        for (const Published* p : published) {
            planRow(rows++, *p);
            server.serve(kRegular + p->packedName(), p->packed);
            write(p->packedName(), p->packed);
        }
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(source + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QString missing(const Published& p) const
    {
        return QStringLiteral("Nije nađena datoteka: ") + update(p.name) +
               QStringLiteral(", a trebala bi postojati. Prekida se ažuriranje!");
    }

    TestHttpServer server;
    QString source;
    int rows = 0;
};

} // namespace

TEST(InternetFetch, PlannedRowsWithGapsAreFetchedInOrderAndFillThePanes)
{
    Release r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(40'000, 1));
    const Published knjizenje = publish(QStringLiteral("Knjiženje.dll"), noise(20'000, 2));
    const Published upute = publish(QStringLiteral("Upute.chm"), noise(5'000, 3));
    for (int row = 0; row < 12; ++row)
        r.planRow(row, publish(QStringLiteral("Stari%1.chm").arg(row), "x"), false);
    r.planRow(3, racuni);
    r.planRow(10, knjizenje);
    r.planRow(12, upute);
    QStringList requests;
    std::vector<std::pair<QString, int>> marks;
    for (const Published* p : {&racuni, &knjizenje, &upute}) {
        r.server.serve(kRegular + p->packedName(), p->packed);
        requests << kRegular + p->packedName();
        marks.insert(marks.end(), {{p->name, 1}, {p->name, 2}});
    }
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");
    r.inst.state.actionMessages = QStringLiteral("from the check");
    ASSERT_TRUE(SnimitiSaInterneta(r.inst.ctx));

    for (const Published* p : {&racuni, &knjizenje, &upute})
        EXPECT_EQ(r.readUpdate(p->name), p->content) << p->name.toStdString();
    EXPECT_EQ(r.server.requests, requests);
    EXPECT_EQ(r.inst.window.marks, marks);
    EXPECT_TRUE(r.inst.journal().contains(QStringLiteral("SnimitiSaInterneta - Nađena 7z datoteka: ") +
                                          r.update(QStringLiteral("Racuni.7z")) +
                                          QStringLiteral(" pa je treba obrisati!")));
    const RecordingWindow& w = r.inst.window;
    const double total = racuni.packed.size() + knjizenje.packed.size() + upute.packed.size();
    EXPECT_EQ(std::make_tuple(w.actionPane, w.errorPane, w.messages.size(), w.progressMaximum,
                              w.progressValue, w.progressVisible),
              std::make_tuple(QStringLiteral("\r\nUNZIP: ") + r.update(QStringLiteral("Racuni.7z")) +
                                  QStringLiteral("\r\nUNZIP: ") + r.update(QStringLiteral("Knjizenje.7z")),
                              QString(), size_t{0}, total, total, false));
    // The fixed wait before the check, and nothing else.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(InternetFetch, NothingPlannedFetchesNothingFromEitherSource)
{
    for (const auto fetch : {SnimitiSaInterneta, SnimitiSaMrežneLokacije}) {
        Release r;
        const Published racuni = publish(QStringLiteral("Računi.enc"), "x");
        r.release({&racuni});
        r.inst.state.plan.at(0, 6) = Cell(std::int64_t{0});
        r.inst.state.errorMessages = QStringLiteral("earlier");

        EXPECT_FALSE(fetch(r.inst.ctx));

        EXPECT_EQ(r.inst.window.messageTexts(), QStringList{QStringLiteral("Nema novih verzija progama!")});
        EXPECT_TRUE(r.server.requests.isEmpty() && r.inst.journal().isEmpty() &&
                    r.inst.state.errorMessages.isEmpty());
        EXPECT_FALSE(r.inUpdate(racuni.name));
    }
}

TEST(InternetFetch, PackedFileOneByteShortStopsBeforeUnpacking)
{
    Release r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(10'000));
    const Published druga = publish(QStringLiteral("Druga.exe"), noise(10'000, 2));
    r.release({&racuni, &druga});
    r.inst.state.plan.at(0, 4) = Cell(QString::number(racuni.packed.size() + 1));

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    const QString expected =
        sizeLine(QStringLiteral("Racuni.7z"), racuni.packed.size(), racuni.packed.size() + 1) + kDiffers;
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    EXPECT_TRUE(r.inst.journal().filter(QStringLiteral("Unzipaj")).isEmpty() && !r.inUpdate(racuni.name));
    EXPECT_EQ(r.server.requests, QStringList{kRegular + QStringLiteral("Racuni.7z")});
}

TEST(InternetFetch, LateFilesShareFourWaitsAndADamagedArchiveLeavesNothing)
{
    Release r;
    const Published a = publish(QStringLiteral("Prvi.exe"), noise(1000, 1));
    const Published b = publish(QStringLiteral("Drugi.exe"), noise(1000, 2));
    Published c = publish(QStringLiteral("Plaće.exe"), noise(300'000, 9));
    for (int i = 1000; i < 1100; ++i)
        c.packed[i] = static_cast<char>(c.packed[i] ^ 0xff);
    r.release({&a, &b, &c});

    // The unpacked files vanish during the fixed wait and come back late: the first
    // during its second wait, the second during its second wait.
    QTemporaryDir aside;
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        for (const Published* p : {&a, &b}) {
            if (slept == 5s)
                EXPECT_TRUE(QFile::rename(r.update(p->name), aside.filePath(p->name)));
            else if ((slept == 14s && p == &a) || (slept == 24s && p == &b))
                QFile::rename(aside.filePath(p->name), r.update(p->name));
        }
    };

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    // 7-Zip's output of the damaged archive was removed, so the update stops without a box.
    EXPECT_EQ(r.inst.state.currentMessage, r.missing(c));
    EXPECT_TRUE(r.inst.window.messages.empty() && !r.inUpdate(c.name));
    EXPECT_TRUE(r.inUpdate(a.name) && r.inUpdate(b.name));
    // The fixed 5 seconds and four budgeted waits; the third file waits no more.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 25s);
}

TEST(NetworkFetch, TrialRunCopiesFromTheTrialFolderAndTakesItsManifest)
{
    Release r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(30'000, 1));
    const Published grid = publish(QStringLiteral("Grid.ocx"), noise(2'000, 2));
    // The regular folder holds an other release; only the trial folder counts.
    r.write(racuni.packedName(), "wrong release");
    r.useFolder(QStringLiteral("Probna"), TrialFolderBox);
    r.inst.state.trialRun = true;
    r.release({&racuni, &grid});
    r.write(QStringLiteral("Verzije.txt"), "Računi.exe;23;0;0;1;2;\r\n");
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");

    ASSERT_TRUE(SnimitiSaMrežneLokacije(r.inst.ctx));

    EXPECT_EQ(r.readUpdate(racuni.name) + r.readUpdate(grid.name) +
                  r.readUpdate(QStringLiteral("Verzije.txt")),
              racuni.content + grid.content + "Računi.exe;23;0;0;1;2;\r\n");
    EXPECT_EQ(r.inst.window.marks, (std::vector<std::pair<QString, int>>{
                                       {racuni.name, 4}, {racuni.name, 2}, {grid.name, 4}, {grid.name, 2}}));
    const RecordingWindow& w = r.inst.window;
    EXPECT_EQ(std::make_pair(w.actionPane, w.errorPane),
              std::make_pair(QStringLiteral("\r\nKopirano Racuni.7z\r\nUNZIP: ") +
                                 r.update(QStringLiteral("Racuni.7z")) +
                                 QStringLiteral("\r\nKopirano Grid.7z\r\nKopirano Verzije.txt"),
                             QString()));
    EXPECT_TRUE(w.messages.empty() && r.server.requests.isEmpty());
    // No wait before the check; one after the manifest's copy.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(NetworkFetch, PackedFileMissingInTheSourceStopsWithoutABox)
{
    Release r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(1000, 1));
    const Published knjizenje = publish(QStringLiteral("Knjiženje.dll"), noise(1000, 2));
    r.release({&racuni, &knjizenje});
    QFile::remove(r.source + knjizenje.packedName());
    const QString tail = QStringLiteral("Knjizenje.7z pa je nije moguće instalirati. Prekida se ažuriranje!");

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));
    EXPECT_EQ(r.inst.state.currentMessage, QStringLiteral("Nije nađena 7z datoteka: ") + r.source + tail);
    EXPECT_TRUE(r.inst.window.messages.empty());
    EXPECT_EQ(r.inst.window.marks.back(), (std::pair<QString, int>{knjizenje.name, 4}));

    // An empty folder box names no folder at all: nothing is taken from wherever the program runs.
    Release empty;
    empty.release({&knjizenje});
    empty.inst.state.sources.folders[RegularFolderBox].clear();
    const QString started = QDir::currentPath();
    QDir::setCurrent(empty.source);
    EXPECT_FALSE(SnimitiSaMrežneLokacije(empty.inst.ctx));
    QDir::setCurrent(started);
    EXPECT_EQ(empty.inst.state.currentMessage, QStringLiteral("Nije nađena 7z datoteka: ") + tail);
}

TEST(NetworkFetch, SourceWithoutManifestFailsOnlyAtTheEnd)
{
    Release r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(1000, 1));
    const Published pomoc = publish(QStringLiteral("Pomoć.chm"), noise(1000, 2));
    r.release({&racuni, &pomoc});
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));

    const QString expected = QStringLiteral("Greška u kopiranju Verzije.txt. Prekida se ažuriranje!");
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    EXPECT_TRUE(r.inUpdate(racuni.name) && r.inUpdate(pomoc.name));
    EXPECT_EQ(r.readUpdate(QStringLiteral("Verzije.txt")), QByteArray("manifest of the check"));
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 0s);
}

TEST(NetworkFetch, EmptyUnpackedFileIsGivenTwoMoreWaits)
{
    Release r;
    // Published empty, but the manifest says what they should hold.
    const Published grows = publish(QStringLiteral("Prva.enc"), {});
    const Published stays = publish(QStringLiteral("Druga.enc"), {});
    r.release({&grows, &stays});
    r.inst.state.plan.at(0, 5) = Cell(QStringLiteral("10"));
    r.inst.state.plan.at(1, 5) = Cell(QStringLiteral("10"));
    r.write(QStringLiteral("Verzije.txt"), "manifest");
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        if (slept == 3s)
            r.inst.write(QStringLiteral("Update/Prva.enc"), "0123456789");
    };

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));

    const QString expected = sizeLine(stays.name, 0, 10) + kDiffers;
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    // One wait for the first file, both for the second; none counts against the budget.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 15s);
}
