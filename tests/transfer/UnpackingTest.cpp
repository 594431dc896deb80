#include "transfer/Unpacking.h"

#include "PackedRelease.h"

#include <QFile>
#include <cstdlib>
#include <string>

using namespace tarvino;
using namespace tarvino::test;
using namespace std::chrono_literals;

namespace {

const QChar Q = QLatin1Char('"');

void put(const PackedRelease& r, const Published& p)
{
    r.inst.write(QStringLiteral("Update/") + p.packedName(), p.packed);
}

// Hides the system's 7-Zip for the life of the object.
class EmptyPath {
public:
    EmptyPath() : m_saved(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        ::setenv("PATH", m_empty.path().toStdString().c_str(), 1);
    }
    ~EmptyPath() { ::setenv("PATH", m_saved.c_str(), 1); }

private:
    QTemporaryDir m_empty;
    std::string m_saved;
};

} // namespace

TEST(Unpacking, ArchivesWithČAndŽUnpackUnderTheirInstalledNames)
{
    PackedRelease r;
    // 7-Zip beside the tool is preferred to the system's.
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin/7za"), r.inst.path(QStringLiteral("7za"))));
    const Published racuni = publish(QStringLiteral("Računi.dll"), noise(3000, 1));
    const Published knjizenje = publish(QStringLiteral("Knjiženje.exe"), noise(5000, 2));
    put(r, racuni);
    put(r, knjizenje);
    r.inst.write(QStringLiteral("Update/Računi.dll"), "stale copy of an earlier run");

    EXPECT_TRUE(Unzipaj(r.inst.ctx, racuni.name));
    QFile::remove(r.inst.path(QStringLiteral("7za")));
    EXPECT_TRUE(Unzipaj(r.inst.ctx, knjizenje.name));

    EXPECT_EQ(r.readUpdate(racuni.name), racuni.content);
    EXPECT_EQ(r.readUpdate(knjizenje.name), knjizenje.content);
    const QString u = r.inst.state.updateFolder;
    EXPECT_EQ(
        r.inst.journal(),
        (QStringList{QStringLiteral("Unzipaj- Početak Računi.dll"),
                     QStringLiteral("Unzipaj- ") + Q + r.inst.folder() + QStringLiteral("7za") + Q +
                         QStringLiteral(" e ") + Q + u + QStringLiteral("Racuni.7z") + Q +
                         QStringLiteral(" -aoa -o") + Q + u + Q,
                     QStringLiteral("Unzipaj- Kraj Računi.dll"),
                     QStringLiteral("Unzipaj- Početak Knjiženje.exe"),
                     QStringLiteral("Unzipaj- ") + Q + QStringLiteral("7za") + Q + QStringLiteral(" e ") + Q +
                         u + QStringLiteral("Knjizenje.7z") + Q + QStringLiteral(" -aoa -o") + Q + u + Q,
                     QStringLiteral("Unzipaj- Kraj Knjiženje.exe")}));
    EXPECT_EQ(r.inst.window.actionHistory,
              (QStringList{QStringLiteral("UnZipanje datoteke: Racuni.7z"), QString(),
                           QStringLiteral("UnZipanje datoteke: Knjizenje.7z"), QString()}));
    EXPECT_EQ(r.inst.platform.fakeClock.slept(), 0ms);
}

TEST(Unpacking, CopyOnlyFilesAndThePauseThatGrowsWithTheArchive)
{
    PackedRelease r;
    const Published help = publish(QStringLiteral("Pomoć.chm"), noise(2'600'000, 3));
    const Published script = publish(QStringLiteral("Izmjena.enc"), noise(1'600'000, 4));
    const Published grid = publish(QStringLiteral("Grid.ocx"), noise(1'500'000, 5));
    // Capitals are not a copy-only extension: this one is a real archive.
    const QByteArray upperContent = noise(3'400'000, 6);
    const Published upper{QStringLiteral("Upute.CHM"), upperContent,
                          sevenZip(QStringLiteral("Upute.CHM"), upperContent)};
    ASSERT_GE(upper.packed.size(), 3'400'000);
    ASSERT_LT(upper.packed.size(), 3'500'000);
    for (const Published* p : {&help, &script, &grid, &upper})
        put(r, *p);
    r.inst.write(QStringLiteral("Update/Pomoć.chm"), "old help");

    std::vector<std::chrono::milliseconds> pauses;
    for (const Published* p : {&help, &script, &grid, &upper}) {
        const auto before = r.inst.platform.fakeClock.slept();
        EXPECT_TRUE(Unzipaj(r.inst.ctx, p->name)) << p->name.toStdString();
        EXPECT_EQ(r.readUpdate(p->name), p->content) << p->name.toStdString();
        pauses.push_back(r.inst.platform.fakeClock.slept() - before);
    }
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{0s, 0s, 2s, 3s}));
}

TEST(Unpacking, PauseRoundsHalvesToEven)
{
    const std::pair<unsigned long long, int> cases[] = {{0, 0},         {500'000, 0},   {500'001, 1},
                                                        {1'500'000, 2}, {2'500'000, 2}, {5'000'000'000ULL, 5000}};
    for (const auto& [bytes, seconds] : cases)
        EXPECT_EQ(unpackPauseSeconds(bytes), seconds) << bytes;
}

TEST(Unpacking, SevenZipThatCannotBeStartedFailsWithTheUnzipLine)
{
    PackedRelease r;
    const Published p = publish(QStringLiteral("Računi.exe"), noise(1000));
    put(r, p);
    EmptyPath noSevenZip;

    EXPECT_FALSE(Unzipaj(r.inst.ctx, p.name));

    const QString expected = QStringLiteral("UNZIP: ") + r.update(QStringLiteral("Racuni.7z")) +
                             QStringLiteral("No such file or directory");
    EXPECT_EQ(r.inst.state.errorMessages, QStringLiteral("\r\n") + expected);
    EXPECT_EQ(r.inst.journal().last(), QStringLiteral("Unzipaj- Greška ") + expected);
}
