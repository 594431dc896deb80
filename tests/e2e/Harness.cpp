#include "Harness.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QVariant>
#include <gtest/gtest.h>

namespace tarvino::test {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

Files snapshot(const QString& folder)
{
    Files files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString relative = QDir(folder).relativeFilePath(it.next());
        if (!relative.startsWith(QStringLiteral("Update/")) && relative != QStringLiteral("LiveUpdate.lock"))
            files.insert(relative, readAll(it.filePath()));
    }
    return files;
}

QString sampleRoot(const QStringList& arguments)
{
    static QTemporaryDir dir;
    static QMap<QStringList, QString> roots;
    if (!roots.contains(arguments)) {
        const QString root = dir.filePath(QString::number(roots.size()));
        const auto [status, output] =
            runToEnd(QStringLiteral(TARVINO_SAMPLE_RELEASE), arguments + QStringList{root},
                     QProcessEnvironment::systemEnvironment(),
                     [](const QByteArray& out) { return QString::fromUtf8(out); });
        EXPECT_EQ(status, 0) << "sample release: " << output;
        roots.insert(arguments, status == 0 ? root : QString());
    }
    return roots.value(arguments);
}

Settings servers(quint16 port, bool chilkat)
{
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    return {{QStringLiteral("PrimarniServer23"), address},
            {QStringLiteral("SekundarniServer23"), address},
            {QStringLiteral("KoristiChilkatZaDownload"), QVariant(chilkat).toString()}};
}

std::pair<int, QString> runToEnd(const QString& program, const QStringList& arguments,
                                 const QProcessEnvironment& env, Decode decode)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    // Beyond the tool's own 60 s limit for a transfer that receives nothing.
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program << " did not end within two minutes";
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            decode(process.readAll())};
}

Workstation::Workstation(const QString& sample, Decode decode) : decode(decode)
{
    const Files installation = snapshot(sample + QStringLiteral("/install/"));
    for (auto it = installation.begin(); it != installation.end(); ++it)
        EXPECT_TRUE(writeAll(folder + it.key(), it.value()));
    before = installation;
}

QStringList Workstation::journal() const
{
    return decode(readAll(folder + QStringLiteral("Update/Update.log"))).split(QStringLiteral("\r\n"));
}

void Workstation::expect(const ToolRun& row)
{
    SCOPED_TRACE(row.name);
    settings(row.settings);
    const auto [status, output] = run(row.arguments);
    EXPECT_EQ(status, row.status) << output;
    EXPECT_TRUE(output.contains(row.output)) << output;
    Files want = before;
    want.insert(row.installs.isEmpty() ? Files() : snapshot(row.installs));
    const Files now = snapshot(folder);
    EXPECT_EQ(now.keys(), want.keys());
    for (auto it = want.begin(); it != want.end(); ++it)
        EXPECT_TRUE(now.value(it.key()) == it.value()) << it.key() << " is not as expected";
    const QStringList lines = journal();
    qsizetype at = 0;
    for (const QString& line : row.journal) {
        while (at < lines.size() && !lines.at(at).contains(line))
            ++at;
        ASSERT_LT(at++, lines.size()) << "not in the journal (in this order): " << line << "\n"
                                      << lines.join(QLatin1Char('\n'));
    }
}

} // namespace tarvino::test
