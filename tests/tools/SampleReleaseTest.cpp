#include "TestInstallation.h"
#include "core/Matrix.h"
#include "core/TableFile.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

/// Runs the sample release tool on `folder`; its merged output goes to `output`.
bool sampleRelease(const QString& folder, QString& output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(TARVINO_SAMPLE_RELEASE), {folder});
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
                      process.exitCode() == 0;
    output = QString::fromUtf8(process.readAll());
    return done;
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

} // namespace

// Unpacking every archive is left to the end-to-end runs, which install each row from it.
TEST(SampleRelease, ReleasesAndInstallationMatchTheirManifests)
{
    QTemporaryDir dir;
    const QString sample = dir.filePath(QStringLiteral("sample"));
    QString output;
    ASSERT_TRUE(sampleRelease(sample, output)) << output.toStdString();
    TestInstallation inst;

    for (const QString& channel : {QStringLiteral("/www/download/Verzija23/"),
                                  QStringLiteral("/www/download/Verzija23/Probna/")}) {
        SCOPED_TRACE(channel.toStdString());
        const QString folder = sample + channel;
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("VerzijeU.txt")) &&
                    QFileInfo::exists(folder + QStringLiteral("TeamViewerQS.exe")));

        QStringList listed;
        QSet<QString> expected;
        for (const Row& row : readManifest(inst, folder + QStringLiteral("Verzije.txt"))) {
            SCOPED_TRACE(row.name.toStdString());
            listed << row.name;
            expected.insert(packedName(row.name));
            EXPECT_EQ(QFileInfo(folder + packedName(row.name)).size(), row.packed);
            // Help files, scripts and "ocx" components are published as they are.
            const QString kind = extensionOf(row.name);
            if (kind == QLatin1String("chm") || kind == QLatin1String("enc") || kind == QLatin1String("ocx")) {
                EXPECT_EQ(row.packed, row.unpacked);
            }
        }
        EXPECT_TRUE(listed.contains(QStringLiteral("TarvinoLiveUpdate23.exe")));
        const qsizetype component = listed.indexOf(QStringLiteral("TarvinoIzmjBaza23.dll"));
        ASSERT_GE(component, 0);
        EXPECT_TRUE(listed.value(component + 1).endsWith(QStringLiteral("enc")));

        // Exactly one archive per row, under the name the tool asks the server for.
        EXPECT_EQ(expected.size(), listed.size());
        const QStringList present = QDir(folder).entryList({QStringLiteral("*.7z")}, QDir::Files);
        EXPECT_EQ(QSet<QString>(present.begin(), present.end()), expected);
        EXPECT_TRUE(expected.contains(QStringLiteral("Racuni.7z")) && expected.contains(QStringLiteral("Trazilica.7z")));
    }

    const QString install = sample + QStringLiteral("/install/");
    const std::vector<Row> rows = readManifest(inst, install + QStringLiteral("Verzije.txt"));
    ASSERT_FALSE(rows.empty());
    for (const Row& row : rows) {
        const QString kind = extensionOf(row.name);
        const QString folder = kind == QLatin1String("enc")   ? install + QStringLiteral("Skrite za izmjenu baze/")
                               : kind == QLatin1String("chm") ? install + QStringLiteral("Help/")
                                                              : install;
        EXPECT_EQ(QFileInfo(folder + row.name).size(), row.unpacked) << row.name.toStdString();
    }

    // A folder already in use is refused and left as it was.
    EXPECT_FALSE(sampleRelease(sample, output));
    EXPECT_TRUE(output.contains(QStringLiteral("not empty")));
    EXPECT_EQ(readManifest(inst, install + QStringLiteral("Verzije.txt")).size(), rows.size());
}
