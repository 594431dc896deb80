#include "Harness.h"

#include "QtPrinters.h"
#include "TestCertificates.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

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

void expectSame(const Files& now, const Files& want)
{
    EXPECT_EQ(now.keys(), want.keys());
    for (auto it = want.begin(); it != want.end(); ++it)
        EXPECT_TRUE(now.value(it.key()) == it.value()) << it.key().toStdString() << " is not as expected";
}

bool copyTree(const QString& from, const QString& to)
{
    const Files files = snapshot(from);
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (!writeAll(to + it.key(), it.value()))
            return false;
        QFile(to + it.key()).setPermissions(QFileInfo(from + it.key()).permissions());
    }
    return true;
}

QString runOutput(const QString& program, const QStringList& arguments, bool* ok)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    *ok = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    return QString::fromLocal8Bit(process.readAll());
}

QString sampleRoot(const QString& codePage)
{
    static QTemporaryDir dir;
    static QMap<QString, QString> roots;
    if (!roots.contains(codePage)) {
        const QString root = dir.path() + QStringLiteral("/s") + QString::number(roots.size());
        QStringList arguments {root};
        if (!codePage.isEmpty())
            arguments << QStringLiteral("--code-page") << codePage;
        bool ok = false;
        const QString output = runOutput(QStringLiteral(TARVINO_SAMPLE_RELEASE), arguments, &ok);
        if (!ok)
            ADD_FAILURE() << "sample release: " << output.toStdString();
        roots.insert(codePage, ok ? root : QString());
    }
    return roots.value(codePage);
}

Files expectedAfter(const QString& release, QString (*decode)(const QByteArray&))
{
    static QMap<QString, Files> cache;
    if (cache.contains(release))
        return cache.value(release);
    Files files;
    QTemporaryDir unpacked;
    const QString manifest = decode(readAll(release + kManifestFile));
    for (const QString& line : manifest.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(';'), 0, 0);
        const QString kind = extensionOf(name);
        const QString installed = kind == QLatin1String("enc")
                                      ? QStringLiteral("Skrite za izmjenu baze/") + name
                                  : kind == QLatin1String("chm") ? QStringLiteral("Help/") + name
                                                                 : name;
        // The tool's own row is never installed by the tool itself.
        if (name == QStringLiteral("TarvinoLiveUpdate23.exe"))
            continue;
        if (kind == QLatin1String("chm") || kind == QLatin1String("enc") || kind == QLatin1String("ocx")) {
            files.insert(installed, readAll(release + packedName(name)));
            continue;
        }
        bool ok = false;
        const QString output = runOutput(QStringLiteral("7za"),
                                         {QStringLiteral("e"), release + packedName(name),
                                          QStringLiteral("-aoa"), QStringLiteral("-o") + unpacked.path()},
                                         &ok);
        EXPECT_TRUE(ok) << output.toStdString();
        files.insert(installed, readAll(unpacked.path() + QLatin1Char('/') + name));
    }
    for (const QString& name : {kManifestFile, kRemoteSupportProgram})
        files.insert(name, readAll(release + name));
    cache.insert(release, files);
    return files;
}

void expectInOrder(const QStringList& journal, const QStringList& lines)
{
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < journal.size() && !journal.at(at).contains(line))
            ++at;
        ASSERT_LT(at++, journal.size()) << "not in the journal (in this order): " << line.toStdString() << "\n"
                                        << journal.join(QLatin1Char('\n')).toStdString();
    }
}

RunResult runToEnd(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                   Decode decode, const std::function<void()>& meanwhile, int limitMs)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (meanwhile)
        meanwhile();
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not end within " << limitMs / 1000 << " seconds";
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            decode(process.readAllStandardOutput()), decode(process.readAllStandardError())};
}

Workstation::Workstation(const QString& install, Decode decode) : decode(decode)
{
    EXPECT_TRUE(copyTree(install, folder));
    before = snapshot(folder);
}

QStringList Workstation::journal() const
{
    return decode(readAll(folder + QStringLiteral("Update/Update.log"))).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void Workstation::expectInstalled(const QString& release) const
{
    const Files released = expectedAfter(release, decode);
    ASSERT_GT(released.size(), 10) << "the release's manifest was not read";
    Files want = before;
    want.insert(released);
    expectFiles(want);
}

Nginx::Nginx(const QString& www, const QString& extra, bool sendAuthority)
{
    const TestCertificates& certificates = TestCertificates::instance();
    error = certificates.error();
    const QString dir = m_dir.path() + QLatin1Char('/');
    QDir().mkpath(dir + QStringLiteral("temp"));
    QString chain = certificates.serverCertificatePath;
    if (sendAuthority) {
        chain = dir + QStringLiteral("chain.pem");
        writeAll(chain, readAll(certificates.serverCertificatePath) + readAll(certificates.authorityPath));
    }
    QString conf = QStringLiteral(R"(daemon off; worker_processes 1; pid %1nginx.pid; error_log %1error.log;
events { worker_connections 64; }
http {
  access_log off; default_type application/octet-stream;
  client_body_temp_path %1temp/body; proxy_temp_path %1temp/proxy; fastcgi_temp_path %1temp/fastcgi;
  uwsgi_temp_path %1temp/uwsgi; scgi_temp_path %1temp/scgi;
  server { listen 127.0.0.1:%2; root %4; %5 }
  server { listen 127.0.0.1:%3 ssl; ssl_certificate %6; ssl_certificate_key %7; root %4; %5 }
}
)");
    // Workers of a server started by root would run as an account that cannot read the test's folders.
    if (::geteuid() == 0)
        conf.prepend(QStringLiteral("user %1 %2;\n")
                         .arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name),
                              QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name)));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A port found free can be taken before nginx binds it: try again with others.
    for (int attempt = 0; attempt < 5 && certificates.ok() && !running; ++attempt) {
        httpPort = freePort();
        httpsPort = freePort();
        writeAll(dir + QStringLiteral("nginx.conf"),
                 conf.arg(dir, QString::number(httpPort), QString::number(httpsPort), www, extra,
                          chain, certificates.serverKeyPath)
                     .toUtf8());
        m_process.start(QStringLiteral("nginx"), {QStringLiteral("-p"), dir, QStringLiteral("-c"),
                                                  dir + QStringLiteral("nginx.conf"), QStringLiteral("-e"),
                                                  dir + QStringLiteral("error.log")});
        running = m_process.waitForStarted(10000) && listening();
        if (!running) {
            error = m_process.errorString() + QLatin1Char(' ') + QString::fromLocal8Bit(m_process.readAll()) +
                    QString::fromLocal8Bit(readAll(dir + QStringLiteral("error.log")));
            stop();
        }
    }
}

void Nginx::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    running = false;
}

quint16 Nginx::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Both ports accept, or nginx has ended (a port was taken); bounded by the waits.
bool Nginx::listening()
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket http, https;
        http.connectToHost(QHostAddress::LocalHost, httpPort);
        https.connectToHost(QHostAddress::LocalHost, httpsPort);
        if (http.waitForConnected(100) && https.waitForConnected(100))
            return true;
        if (m_process.waitForFinished(50))
            return false;
    }
    return false;
}

} // namespace tarvino::test
