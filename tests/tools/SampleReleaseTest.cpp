#include "TestInstallation.h"
#include "core/Matrix.h"
#include "core/TableFile.h"
#include "plan/FolderLayout.h"
#include "plan/ManifestRow.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

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

/// Each row of a manifest: name, packed size, unpacked size.
using Row = std::tuple<QString, std::int64_t, std::int64_t>;

std::vector<Row> readManifest(TestInstallation& inst, const QString& path)
{
    Matrix matrix;
    EXPECT_TRUE(UčitajUMatricu(inst.ctx, matrix, path)) << inst.state.currentMessage.toStdString();
    std::vector<Row> rows;
    for (int r = 0; r < Matrix::Rows; ++r) {
        if (const QString name = matrix.at(r, 0).text(); !name.isEmpty())
            rows.emplace_back(name, columnBytes(matrix.at(r, 4).text()), columnBytes(matrix.at(r, 5).text()));
    }
    return rows;
}

} // namespace

// Unpacking every archive, the support program and the names of the archives are left to the
// end-to-end runs, which install each row from the server.
TEST(SampleRelease, ReleasesAndInstallationMatchTheirManifests)
{
    QTemporaryDir dir;
    const QString sample = dir.filePath(QStringLiteral("sample"));
    QString output;
    ASSERT_TRUE(sampleRelease(sample, output)) << output.toStdString();
    TestInstallation inst;

    for (const QString& channel :
         {QStringLiteral("/www/download/Verzija23/"), QStringLiteral("/www/download/Verzija23/Probna/")}) {
        SCOPED_TRACE(channel.toStdString());
        const QString folder = sample + channel;
        QStringList listed;
        QSet<QString> expected;
        for (const auto& [name, packed, unpacked] :
             readManifest(inst, folder + QStringLiteral("Verzije.txt"))) {
            listed << name;
            expected.insert(packedName(name));
            EXPECT_EQ(QFileInfo(folder + packedName(name)).size(), packed) << name.toStdString();
            // Help files, scripts and "ocx" components are published as they are.
            if (QStringList({QStringLiteral("chm"), QStringLiteral("enc"), QStringLiteral("ocx")})
                    .contains(extensionOf(name))) {
                EXPECT_EQ(packed, unpacked) << name.toStdString();
            }
        }
        const qsizetype component = listed.indexOf(QStringLiteral("TarvinoIzmjBaza23.dll"));
        EXPECT_TRUE(component >= 0 && listed.value(component + 1).endsWith(QStringLiteral("enc")));
        EXPECT_TRUE(listed.contains(QStringLiteral("TarvinoLiveUpdate23.exe")));

        // Exactly one archive per row, under the name the tool asks the server for.
        const QStringList present = QDir(folder).entryList({QStringLiteral("*.7z")}, QDir::Files);
        EXPECT_EQ(expected.size(), listed.size());
        EXPECT_EQ(QSet<QString>(present.begin(), present.end()), expected);
    }

    const QString install = sample + QStringLiteral("/install/");
    const std::vector<Row> rows = readManifest(inst, install + QStringLiteral("Verzije.txt"));
    ASSERT_FALSE(rows.empty());
    for (const auto& [name, packed, unpacked] : rows) {
        const QString kind = extensionOf(name);
        const QString folder = kind == QLatin1String("enc")
                                   ? install + QStringLiteral("Skrite za izmjenu baze/")
                               : kind == QLatin1String("chm") ? install + QStringLiteral("Help/")
                                                              : install;
        EXPECT_EQ(QFileInfo(folder + name).size(), unpacked) << name.toStdString();
    }

    // A folder already in use is refused and left as it was.
    EXPECT_FALSE(sampleRelease(sample, output));
    EXPECT_TRUE(output.contains(QStringLiteral("not empty")));
    EXPECT_EQ(readManifest(inst, install + QStringLiteral("Verzije.txt")).size(), rows.size());
}
