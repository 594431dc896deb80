#include "TestInstallation.h"
#include "core/Matrix.h"
#include "core/TableFile.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                      process.exitCode() == 0;
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return done;
}

QString writeSample(const QTemporaryDir& dir, const QString& name)
{
    const QString out = dir.path() + QLatin1Char('/') + name;
    QString output;
    EXPECT_TRUE(run(QStringLiteral(TARVINO_SAMPLE_RELEASE), {out}, &output)) << output.toStdString();
    return out;
}

struct Row {
    QString name;
    std::int64_t packed;
    std::int64_t unpacked;
};

std::vector<Row> readManifest(TestInstallation& inst, const QString& path)
{
    Matrix matrix;
    EXPECT_TRUE(UčitajUMatricu(inst.ctx, matrix, path)) << inst.state.currentMessage.toStdString();
    std::vector<Row> rows;
    for (int r = 0; r < Matrix::Rows; ++r) {
        const QString name = matrix.at(r, 0).text();
        if (!name.isEmpty())
            rows.push_back({name, columnBytes(matrix.at(r, 4).text()), columnBytes(matrix.at(r, 5).text())});
    }
    return rows;
}

QStringList names(const std::vector<Row>& rows)
{
    QStringList list;
    for (const Row& row : rows)
        list << row.name;
    return list;
}

} // namespace

TEST(SampleRelease, EveryPublishedArchiveMatchesItsManifestRow)
{
    QTemporaryDir dir;
    const QString sample = writeSample(dir, QStringLiteral("sample"));
    TestInstallation inst;

    for (const QString& channel : {QStringLiteral("/www/download/Verzija23/"),
                                  QStringLiteral("/www/download/Verzija23/Probna/")}) {
        SCOPED_TRACE(channel.toStdString());
        const QString folder = sample + channel;
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("VerzijeU.txt")));
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("TeamViewerQS.exe")));

        const std::vector<Row> rows = readManifest(inst, folder + QStringLiteral("Verzije.txt"));
        const QStringList listed = names(rows);
        EXPECT_TRUE(listed.contains(QStringLiteral("TarvinoLiveUpdate23.exe")));
        const qsizetype component = listed.indexOf(QStringLiteral("TarvinoIzmjBaza23.dll"));
        ASSERT_GE(component, 0);
        ASSERT_LT(component + 1, listed.size());
        EXPECT_TRUE(listed.at(component + 1).endsWith(QStringLiteral("enc")));

        // Exactly one archive per row, under the name the tool asks the server for.
        QSet<QString> expected;
        for (const Row& row : rows)
            expected.insert(packedName(row.name));
        EXPECT_EQ(expected.size(), qsizetype(rows.size()));
        const QStringList present = QDir(folder).entryList({QStringLiteral("*.7z")}, QDir::Files);
        EXPECT_EQ(QSet<QString>(present.begin(), present.end()), expected);
        EXPECT_TRUE(expected.contains(QStringLiteral("Racuni.7z")));
        EXPECT_TRUE(expected.contains(QStringLiteral("Trazilica.7z")));

        for (const Row& row : rows) {
            SCOPED_TRACE(row.name.toStdString());
            const QString archive = folder + packedName(row.name);
            EXPECT_EQ(QFileInfo(archive).size(), row.packed);

            // Help files, scripts and "ocx" components are published as they are.
            const QString kind = extensionOf(row.name);
            if (kind == QLatin1String("chm") || kind == QLatin1String("enc") || kind == QLatin1String("ocx")) {
                EXPECT_EQ(row.packed, row.unpacked);
                continue;
            }

            // Unpacked as the tool unpacks: by the stored name, into a folder.
            QTemporaryDir target;
            QString output;
            ASSERT_TRUE(run(QStringLiteral("7za"), {QStringLiteral("e"), archive, QStringLiteral("-aoa"),
                                                     QStringLiteral("-o") + target.path()},
                            &output))
                << output.toStdString();
            EXPECT_EQ(QDir(target.path()).entryList(QDir::Files), QStringList {row.name});
            EXPECT_EQ(QFileInfo(target.path() + QLatin1Char('/') + row.name).size(), row.unpacked);
        }
    }
}

TEST(SampleRelease, InstallationHoldsWhatItsManifestSays)
{
    QTemporaryDir dir;
    const QString sample = writeSample(dir, QStringLiteral("sample"));
    TestInstallation inst;
    const QString install = sample + QStringLiteral("/install/");

    const std::vector<Row> rows = readManifest(inst, install + QStringLiteral("Verzije.txt"));
    ASSERT_FALSE(rows.empty());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        const QString kind = extensionOf(row.name);
        const QString folder = kind == QLatin1String("enc")   ? install + QStringLiteral("Skrite za izmjenu baze/")
                               : kind == QLatin1String("chm") ? install + QStringLiteral("Help/")
                                                              : install;
        EXPECT_EQ(QFileInfo(folder + row.name).size(), row.unpacked);
        EXPECT_GT(row.packed, 0);
    }
    EXPECT_TRUE(QFileInfo::exists(install + QStringLiteral("Računi.exe")));
}

TEST(SampleRelease, OutputIsTheSameOnEveryRunAndNeverOverwritten)
{
    QTemporaryDir dir;
    const QString first = writeSample(dir, QStringLiteral("a"));
    const QString second = writeSample(dir, QStringLiteral("b"));

    QDirIterator files(first, QDir::Files, QDirIterator::Subdirectories);
    int count = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        const QString twin = second + path.mid(first.size());
        QFile a(path);
        QFile b(twin);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly));
        ASSERT_TRUE(b.open(QIODevice::ReadOnly)) << twin.toStdString();
        EXPECT_EQ(a.readAll(), b.readAll()) << path.toStdString();
        ++count;
    }
    EXPECT_GT(count, 30);

    // A folder already in use is refused and left as it was.
    QString output;
    EXPECT_FALSE(run(QStringLiteral(TARVINO_SAMPLE_RELEASE), {first}, &output));
    EXPECT_TRUE(output.contains(QStringLiteral("not empty")));
}
