#include "ServedInstallation.h"

#include "TestCertificates.h"
#include "core/TableFile.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"
#include "plan/ManifestRow.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace tarvino::test {

QByteArray sevenZip(const QList<std::pair<QString, QByteArray>>& members)
{
    QTemporaryDir work;
    QStringList arguments = {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mx=1"),
                             QStringLiteral("-snl"), QStringLiteral("archive.7z")};
    for (const auto& [name, content] : members) {
        QFile file(work.filePath(name));
        EXPECT_TRUE(content.startsWith("->") ? QFile::link(QString::fromUtf8(content.mid(2)), file.fileName())
                                             : file.open(QIODevice::WriteOnly) && file.write(content) >= 0);
        arguments << name;
    }
    QProcess zip;
    zip.setWorkingDirectory(work.path());
    zip.start(QStringLiteral("7za"), arguments);
    EXPECT_TRUE(zip.waitForFinished(60000) && zip.exitCode() == 0) << zip.readAll().toStdString();
    QFile archive(work.filePath(QStringLiteral("archive.7z")));
    return archive.open(QIODevice::ReadOnly) ? archive.readAll() : QByteArray();
}

QByteArray manifest(const std::vector<Row>& rows)
{
    QString text;
    for (const Row& r : rows)
        text += u"%1;%2;%3;%4;%5;%6;\r\n"_s.arg(r.name)
                    .arg(r.major)
                    .arg(r.minor)
                    .arg(r.revision)
                    .arg(r.packedSize.value_or(r.packed.size()))
                    .arg(r.unpackedSize.value_or(r.content.size()));
    return toAnsi(text);
}

ServedInstallation::ServedInstallation(bool tls)
{
    const TestCertificates& certificates = TestCertificates::instance();
    EXPECT_TRUE(!tls || certificates.ok()) << certificates.error().toStdString();
    AppState& s = inst.state;
    for (TestHttpServer* each : {&server, &secondary}) {
        each->certificate = tls ? certificates.serverCertificate : QSslCertificate();
        each->key = certificates.serverKey;
    }
    s.updateFolder = inst.folder() + QStringLiteral("Update") + separator();
    s.sources.primaryServer = server.hostAndPort();
    s.sources.secondaryServer = secondary.hostAndPort();
    s.sources.useChilkat = tls;
    s.sources.extraAuthorities = tls ? certificates.authorityPath : QString();
    s.sources.folders[RegularFolderBox] = network();
    // Long enough for a slow machine, short enough that a hang shows quickly.
    s.fetchStallTimeout = 20s;
    QDir().mkpath(network());
    inst.platform.fakeClock.setTime({2026, 12, 6, 10, 15, 0, 0});
}

QString ServedInstallation::network() const
{
    return QDir::toNativeSeparators(inst.root() + QStringLiteral("/mreza")) + separator();
}

void ServedInstallation::put(const QString& name, const QByteArray& bytes)
{
    server.serve(url(name), bytes);
    QFile file(network() + name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

void ServedInstallation::publish()
{
    for (Row& r : rows) {
        if (r.packed.isEmpty())
            r.packed = QStringList{u"chm"_s, u"enc"_s, u"ocx"_s}.contains(extensionOf(r.name))
                           ? r.content
                           : sevenZip({{r.name, r.content}});
        put(packedName(r.name), r.packed);
    }
    put(QStringLiteral("Verzije.txt"), manifest(rows));
    // The plan as the check makes it of this manifest.
    EXPECT_TRUE(UčitajUMatricu(inst.ctx, inst.state.plan, network() + u"Verzije.txt"_s));
    for (int i = 0; i < int(rows.size()); ++i)
        markPlanned(inst.state.plan, i, rows[i].planned);
}

QString ServedInstallation::fetched() const
{
    return QStringList(server.requests).filter(u".7z"_s).replaceInStrings(url({}), QString()).join(u' ');
}

} // namespace tarvino::test
