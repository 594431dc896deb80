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
const QString kInternet = QStringLiteral("SnimitiSaInterneta - ");
const QString kNetwork = QStringLiteral("SnimitiSaMrežneLokacije - ");
const QString kDiffers = QStringLiteral(
    " i one nisu iste. Moguća greška u prijenosu datoteke. Ponovite postupak. Prekida se ažuriranje!");

QString sizeLine(const QString& name, qint64 size, qint64 expected)
{
    return QStringLiteral("Veličina presnimljene datoteke ") + name + QStringLiteral(" je ") +
           QString::number(size) + QStringLiteral(", a veličina originalne datoteke je ") +
           QString::number(expected);
}

QString okLine(const QString& name, qint64 size)
{
    return sizeLine(name, size, size) + QStringLiteral(". OK.");
}

// A release on an update server on 127.0.0.1, fetched with plain http.
struct ServerRelease : PackedRelease {
    ServerRelease()
    {
        inst.state.sources.primaryServer = server.hostAndPort();
        inst.state.sources.regularOption = PrimaryServer;
        inst.state.sources.useChilkat = false;
        inst.state.fetchStallTimeout = 20s;
    }
    void serve(const Published& p) { server.serve(kRegular + p.packedName(), p.packed); }

    TestHttpServer server;
};

// A release in a folder as another workstation's distribution leaves it.
struct FolderRelease : PackedRelease {
    explicit FolderRelease(const QString& folderName = QStringLiteral("Mreza"))
    {
        source = inst.root() + QLatin1Char('/') + folderName + QLatin1Char('/');
        QDir().mkpath(source);
        inst.state.sources.folders[RegularFolderBox] = source;
    }
    void put(const Published& p) const { write(p.packedName(), p.packed); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(source + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QString source;
};

} // namespace

TEST(InternetFetch, PlannedRowsWithGapsAreFetchedInOrderAndFillThePanes)
{
    ServerRelease r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(40'000, 1));
    const Published knjizenje = publish(QStringLiteral("Knjiženje.dll"), noise(20'000, 2));
    const Published upute = publish(QStringLiteral("Upute.chm"), noise(5'000, 3));
    for (int row = 0; row < 12; ++row)
        r.planRow(row, publish(QStringLiteral("Stari%1.chm").arg(row), "x"), false);
    r.planRow(3, racuni);
    r.planRow(10, knjizenje);
    r.planRow(12, upute);
    for (const Published* p : {&racuni, &knjizenje, &upute})
        r.serve(*p);
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");
    r.inst.state.actionMessages = QStringLiteral("from the check");

    ASSERT_TRUE(SnimitiSaInterneta(r.inst.ctx));

    EXPECT_EQ(r.server.requests,
              (QStringList{kRegular + QStringLiteral("Racuni.7z"), kRegular + QStringLiteral("Knjizenje.7z"),
                           kRegular + QStringLiteral("Upute.7z")}));
    for (const Published* p : {&racuni, &knjizenje, &upute})
        EXPECT_EQ(r.readUpdate(p->name), p->content) << p->name.toStdString();
    const std::vector<std::pair<QString, int>> marks{{racuni.name, 1},    {racuni.name, 2},
                                                     {knjizenje.name, 1}, {knjizenje.name, 2},
                                                     {upute.name, 1},     {upute.name, 2}};
    EXPECT_EQ(r.inst.window.marks, marks);
    const QString u = r.inst.state.updateFolder;
    EXPECT_EQ(
        r.journalOf(kInternet),
        (QStringList{
            QStringLiteral("Početak"), QStringLiteral("Provjera postojanja fajla Racuni.7z"),
            QStringLiteral("Nađena 7z datoteka: ") + u + QStringLiteral("Racuni.7z pa je treba obrisati!"),
            QStringLiteral("Početak skidanja Racuni.7z"),
            okLine(QStringLiteral("Racuni.7z"), racuni.packed.size()),
            QStringLiteral("Provjera postojanja fajla Knjizenje.7z"),
            QStringLiteral("Početak skidanja Knjizenje.7z"),
            okLine(QStringLiteral("Knjizenje.7z"), knjizenje.packed.size()),
            QStringLiteral("Provjera postojanja fajla Upute.7z"), QStringLiteral("Početak skidanja Upute.7z"),
            okLine(QStringLiteral("Upute.7z"), upute.packed.size()),
            QStringLiteral("Početak provjere veličine datoteka"), okLine(racuni.name, racuni.content.size()),
            okLine(knjizenje.name, knjizenje.content.size()), okLine(upute.name, upute.content.size())}));
    // Each archive is unpacked right after its size was found right.
    const QStringList journal = r.inst.journal();
    EXPECT_EQ(journal.indexOf(QStringLiteral("Unzipaj- Početak Računi.exe")),
              journal.indexOf(kInternet + okLine(QStringLiteral("Racuni.7z"), racuni.packed.size())) + 1);

    const RecordingWindow& w = r.inst.window;
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.actionPane, QStringLiteral("\r\nUNZIP: ") + u + QStringLiteral("Racuni.7z") +
                                QStringLiteral("\r\nUNZIP: ") + u + QStringLiteral("Knjizenje.7z"));
    EXPECT_EQ(w.errorPane, QString());
    const double total = racuni.packed.size() + knjizenje.packed.size() + upute.packed.size();
    EXPECT_EQ(w.progressMaximum, total);
    EXPECT_EQ(w.progressValue, total);
    EXPECT_FALSE(w.progressVisible);
    // The fixed wait before the check, and nothing else.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(InternetFetch, NothingPlannedFetchesNothing)
{
    ServerRelease r;
    const Published racuni = publish(QStringLiteral("Računi.enc"), "x");
    r.planRow(0, racuni, false);
    r.serve(racuni);
    r.inst.state.totalPackedSize = 1234;
    r.inst.state.errorMessages = QStringLiteral("earlier");

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{QStringLiteral("Nema novih verzija progama!")});
    EXPECT_TRUE(r.server.requests.isEmpty());
    EXPECT_TRUE(r.inst.journal().isEmpty());
    EXPECT_TRUE(r.inst.state.errorMessages.isEmpty());
}

TEST(InternetFetch, PackedFileOneByteShortStopsBeforeUnpacking)
{
    ServerRelease r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(10'000));
    const Published druga = publish(QStringLiteral("Druga.exe"), noise(10'000, 2));
    r.planRow(0, racuni, true, +1);
    r.planRow(1, druga);
    r.serve(racuni);
    r.serve(druga);

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    const QString expected =
        sizeLine(QStringLiteral("Racuni.7z"), racuni.packed.size(), racuni.packed.size() + 1) + kDiffers;
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    EXPECT_EQ(r.journalOf(kInternet).last(), expected);
    EXPECT_TRUE(r.journalOf(QStringLiteral("Unzipaj")).isEmpty());
    EXPECT_FALSE(r.inUpdate(racuni.name));
    EXPECT_EQ(r.server.requests, QStringList{kRegular + QStringLiteral("Racuni.7z")});
}

TEST(InternetFetch, DamagedArchiveIsCaughtByTheCheckPhase)
{
    ServerRelease r;
    Published place = publish(QStringLiteral("Plaće.exe"), noise(300'000, 9));
    for (int i = 1000; i < 1100; ++i)
        place.packed[i] = static_cast<char>(place.packed[i] ^ 0xff);
    r.planRow(0, place);
    r.serve(place);

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    const QString missing = QStringLiteral("Nije nađena datoteka: ") + r.update(place.name) +
                            QStringLiteral(", a trebala bi postojati. Prekida se ažuriranje!");
    EXPECT_EQ(r.inst.state.currentMessage, missing);
    EXPECT_TRUE(r.inst.window.messages.empty());
    const QStringList lines = r.journalOf(kInternet);
    EXPECT_EQ(lines.mid(lines.size() - 4),
              (QStringList{QStringLiteral("Početak provjere veličine datoteka"),
                           QStringLiteral("Nema fajla, moram čekati 5 s Plaće.exe"),
                           QStringLiteral("Nema fajla, moram čekati još 5 s Plaće.exe"), missing}));
    EXPECT_FALSE(r.inUpdate(place.name));
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 15s);
}

TEST(InternetFetch, LateFilesShareFourWaits)
{
    ServerRelease r;
    const Published a = publish(QStringLiteral("Prvi.exe"), noise(1000, 1));
    const Published b = publish(QStringLiteral("Drugi.exe"), noise(1000, 2));
    const Published c = publish(QStringLiteral("Treći.exe"), noise(1000, 3));
    r.planRow(0, a);
    r.planRow(1, b);
    r.planRow(2, c);
    for (const Published* p : {&a, &b, &c})
        r.serve(*p);

    // The unpacked files vanish during the fixed wait and come back late: the first
    // during its second wait, the second during its second wait, the third never.
    QTemporaryDir aside;
    bool taken = false;
    const auto takeBack = [&](const Published& p) {
        QFile::rename(aside.filePath(p.name), r.update(p.name));
    };
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        if (!taken) {
            taken = true;
            for (const Published* p : {&a, &b, &c})
                EXPECT_TRUE(QFile::rename(r.update(p->name), aside.filePath(p->name)));
        }
        if (slept == 14s)
            takeBack(a);
        if (slept == 24s)
            takeBack(b);
    };

    EXPECT_FALSE(SnimitiSaInterneta(r.inst.ctx));

    const QString missing = QStringLiteral("Nije nađena datoteka: ") + r.update(c.name) +
                            QStringLiteral(", a trebala bi postojati. Prekida se ažuriranje!");
    const QStringList lines = r.journalOf(kInternet);
    const qsizetype check = lines.indexOf(QStringLiteral("Početak provjere veličine datoteka"));
    EXPECT_EQ(lines.mid(check + 1),
              (QStringList{QStringLiteral("Nema fajla, moram čekati 5 s Prvi.exe"),
                           QStringLiteral("Nema fajla, moram čekati još 5 s Prvi.exe"), okLine(a.name, 1000),
                           QStringLiteral("Nema fajla, moram čekati 5 s Drugi.exe"),
                           QStringLiteral("Nema fajla, moram čekati još 5 s Drugi.exe"), okLine(b.name, 1000),
                           QStringLiteral("Nema fajla, moram čekati 5 s Treći.exe"),
                           QStringLiteral("Nema fajla, moram čekati još 5 s Treći.exe"), missing}));
    // The fixed 5 seconds and four budgeted waits; the third file waits no more.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 25s);
    EXPECT_TRUE(r.inst.window.messages.empty());
}

TEST(NetworkFetch, TrialRunCopiesFromTheTrialFolderAndTakesItsManifest)
{
    FolderRelease r(QStringLiteral("Redovna"));
    const QString trial = r.inst.root() + QStringLiteral("/Probna/");
    QDir().mkpath(trial);
    r.inst.state.sources.folders[TrialFolderBox] = trial;
    r.inst.state.trialRun = true;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(30'000, 1));
    const Published grid = publish(QStringLiteral("Grid.ocx"), noise(2'000, 2));
    r.planRow(0, racuni);
    r.planRow(1, grid);
    // The regular folder holds an other release; only the trial folder counts.
    r.write(racuni.packedName(), "wrong release");
    r.source = trial;
    r.put(racuni);
    r.put(grid);
    r.write(QStringLiteral("Verzije.txt"), "Računi.exe;23;0;0;1;2;\r\n");
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");
    r.inst.write(QStringLiteral("Update/Racuni.7z"), "left from an earlier run");

    ASSERT_TRUE(SnimitiSaMrežneLokacije(r.inst.ctx));

    EXPECT_EQ(r.readUpdate(racuni.name), racuni.content);
    EXPECT_EQ(r.readUpdate(grid.name), grid.content);
    EXPECT_EQ(r.readUpdate(QStringLiteral("Verzije.txt")), QByteArray("Računi.exe;23;0;0;1;2;\r\n"));
    EXPECT_EQ(r.inst.window.marks, (std::vector<std::pair<QString, int>>{
                                       {racuni.name, 4}, {racuni.name, 2}, {grid.name, 4}, {grid.name, 2}}));
    EXPECT_EQ(
        r.journalOf(kNetwork),
        (QStringList{QStringLiteral("Početak"), QStringLiteral("Početak kopiranja Racuni.7z"),
                     okLine(QStringLiteral("Racuni.7z"), racuni.packed.size()),
                     QStringLiteral("Početak kopiranja Grid.7z"), okLine(QStringLiteral("Grid.7z"), 2000),
                     QStringLiteral("Početak provjere veličine datoteka"),
                     okLine(racuni.name, racuni.content.size()), okLine(grid.name, 2000)}));
    const QString u = r.inst.state.updateFolder;
    const RecordingWindow& w = r.inst.window;
    EXPECT_EQ(w.actionPane, QStringLiteral("\r\nKopirano Racuni.7z\r\nUNZIP: ") + u +
                                QStringLiteral("Racuni.7z\r\nKopirano Grid.7z\r\nKopirano Verzije.txt"));
    EXPECT_EQ(w.errorPane, QString());
    EXPECT_TRUE(w.messages.empty());
    // No wait before the check; one after the manifest's copy.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 5s);
}

TEST(NetworkFetch, PackedFileMissingInTheSourceStopsWithoutABox)
{
    FolderRelease r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(1000, 1));
    const Published knjizenje = publish(QStringLiteral("Knjiženje.dll"), noise(1000, 2));
    r.planRow(0, racuni);
    r.planRow(1, knjizenje);
    r.put(racuni);

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));

    const QString expected =
        QStringLiteral("Nije nađena 7z datoteka: ") + r.source +
        QStringLiteral("Knjizenje.7z pa je nije moguće instalirati. Prekida se ažuriranje!");
    EXPECT_EQ(r.inst.state.currentMessage, expected);
    EXPECT_TRUE(r.inst.window.messages.empty());
    EXPECT_EQ(r.inst.window.marks.back(), (std::pair<QString, int>{knjizenje.name, 4}));

    // An empty folder box names no folder at all, and nothing is looked up beside the program.
    FolderRelease empty;
    empty.inst.state.sources.folders[RegularFolderBox].clear();
    empty.planRow(0, racuni);
    EXPECT_FALSE(SnimitiSaMrežneLokacije(empty.inst.ctx));
    EXPECT_EQ(
        empty.inst.state.currentMessage,
        QStringLiteral(
            "Nije nađena 7z datoteka: Racuni.7z pa je nije moguće instalirati. Prekida se ažuriranje!"));
}

TEST(NetworkFetch, SourceWithoutManifestFailsOnlyAtTheEnd)
{
    FolderRelease r;
    const Published racuni = publish(QStringLiteral("Računi.exe"), noise(1000, 1));
    const Published pomoc = publish(QStringLiteral("Pomoć.chm"), noise(1000, 2));
    r.planRow(0, racuni);
    r.planRow(1, pomoc);
    r.put(racuni);
    r.put(pomoc);
    r.inst.write(QStringLiteral("Update/Verzije.txt"), "manifest of the check");

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));

    const QString expected = QStringLiteral("Greška u kopiranju Verzije.txt. Prekida se ažuriranje!");
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    const QStringList lines = r.journalOf(kNetwork);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              (QStringList{okLine(racuni.name, 1000), okLine(pomoc.name, 1000), expected}));
    EXPECT_EQ(r.readUpdate(racuni.name), racuni.content);
    EXPECT_EQ(r.readUpdate(pomoc.name), pomoc.content);
    EXPECT_EQ(r.readUpdate(QStringLiteral("Verzije.txt")), QByteArray("manifest of the check"));
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 0s);
}

TEST(NetworkFetch, EmptyUnpackedFileIsGivenTwoMoreWaits)
{
    FolderRelease r;
    // Published empty, but the manifest says what they should hold.
    const Published grows = publish(QStringLiteral("Prva.enc"), {});
    const Published stays = publish(QStringLiteral("Druga.enc"), {});
    r.planRow(0, grows);
    r.planRow(1, stays);
    r.inst.state.plan.at(0, 5) = Cell(QStringLiteral("10"));
    r.inst.state.plan.at(1, 5) = Cell(QStringLiteral("10"));
    r.put(grows);
    r.put(stays);
    r.write(QStringLiteral("Verzije.txt"), "manifest");
    r.inst.platform.fakeClock.onSleep = [&](std::chrono::milliseconds slept) {
        if (slept == 3s)
            r.inst.write(QStringLiteral("Update/Prva.enc"), "0123456789");
    };

    EXPECT_FALSE(SnimitiSaMrežneLokacije(r.inst.ctx));

    const QString expected = sizeLine(stays.name, 0, 10) + kDiffers;
    EXPECT_EQ(r.inst.window.messageTexts(), QStringList{expected});
    const QStringList lines = r.journalOf(kNetwork);
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{okLine(grows.name, 10), expected}));
    // One wait for the first file, both for the second; none counts against the budget.
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 15s);
}
