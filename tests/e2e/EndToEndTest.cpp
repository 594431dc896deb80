// Whole runs of the built program, copied into a sample installation, against nginx
// on 127.0.0.1 serving the sample releases over http and https.
#include "TestCertificates.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QVariant>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <pwd.h>
#include <unistd.h>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kRegular = QStringLiteral("/www/download/Verzija23/");
const QString kProgramName = QStringLiteral("TarvinoLiveUpdate23");
// Exit statuses of the unattended run.
constexpr int kDone = 0;
constexpr int kFailed = 1;

using Files = QMap<QString, QByteArray>;
using Settings = QList<std::pair<QString, QString>>;

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

/// Every file below `folder` by its relative path, the tool's own work folder and lock file left out.
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

/// Copies what `snapshot` sees: a work folder named Update stays behind.
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

/// The sample suite, written once for the whole program.
const QString& sampleRoot()
{
    static QTemporaryDir dir;
    static const QString root = [] {
        bool ok = false;
        const QString output =
            runOutput(QStringLiteral(TARVINO_SAMPLE_RELEASE), {dir.path() + QStringLiteral("/s")}, &ok);
        if (!ok)
            ADD_FAILURE() << "sample release: " << output.toStdString();
        return ok ? dir.path() + QStringLiteral("/s") : QString();
    }();
    return root;
}

/// What the release in `release` installs: each row unpacked (scripts and help files into
/// folders of their own), its manifest and support program. The tool's own row is never
/// installed by the tool itself.
Files expectedAfter(const QString& release)
{
    static QMap<QString, Files> cache;
    if (cache.contains(release))
        return cache.value(release);
    Files files;
    QTemporaryDir unpacked;
    const QString manifest = fromAnsi(readAll(release + kManifestFile));
    for (const QString& line : manifest.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(';'), 0, 0);
        const QString kind = extensionOf(name);
        const QString installed = kind == QLatin1String("enc")
                                      ? QStringLiteral("Skrite za izmjenu baze/") + name
                                  : kind == QLatin1String("chm") ? QStringLiteral("Help/") + name
                                                                 : name;
        if (name == kProgramName + QStringLiteral(".exe"))
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

/// nginx on two free loopback ports (http and https) serving one www folder, run in
/// the foreground as a child of the test so that it ends with the test.
class Nginx {
public:
    /// `extra`: more directives for both servers.
    explicit Nginx(const QString& www, const QString& extra = {})
    {
        const TestCertificates& certificates = TestCertificates::instance();
        error = certificates.error();
        const QString dir = m_dir.path() + QLatin1Char('/');
        QDir().mkpath(dir + QStringLiteral("temp"));
        QString conf =
            QStringLiteral(R"(daemon off; worker_processes 1; pid %1nginx.pid; error_log %1error.log;
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
                              certificates.serverCertificatePath, certificates.serverKeyPath)
                         .toUtf8());
            m_process.start(QStringLiteral("nginx"),
                            {QStringLiteral("-p"), dir, QStringLiteral("-c"),
                             dir + QStringLiteral("nginx.conf"), QStringLiteral("-e"),
                             dir + QStringLiteral("error.log")});
            running = m_process.waitForStarted(10000) && listening();
            if (!running) {
                error = m_process.errorString() + QLatin1Char(' ') +
                        QString::fromLocal8Bit(m_process.readAll()) +
                        QString::fromLocal8Bit(readAll(dir + QStringLiteral("error.log")));
                stop();
            }
        }
    }
    ~Nginx() { stop(); }

    /// Fast shutdown: open connections are closed at once.
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(10000);
        }
        running = false;
    }

    quint16 httpPort = 0;
    quint16 httpsPort = 0;
    bool running = false;
    QString error;

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    // Both ports accept, or nginx has ended (a port was taken); bounded by the waits.
    bool listening()
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

    QTemporaryDir m_dir;
    QProcess m_process;
};

struct RunResult {
    int status = -1;
    QString out;
    QString err;
};

/// A copy of the sample installation with the program in it, a settings store of its
/// own and a stand-in for the registration tool on PATH.
class Workstation {
public:
    Workstation()
    {
        EXPECT_TRUE(copyTree(sampleRoot() + QStringLiteral("/install/"), folder));
        EXPECT_TRUE(QFile::copy(QStringLiteral(TARVINO_PROGRAM), folder + kProgramName));
        writeAll(path(QStringLiteral("bin/RegSvr32.exe")), "#!/bin/sh\nexit 0\n");
        QFile(path(QStringLiteral("bin/RegSvr32.exe")))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        before = snapshot(folder);
    }

    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

    /// The settings store: these values under [Settings], the automatic download off.
    void settings(const Settings& values) const
    {
        QByteArray ini = "[Settings]\r\n";
        for (const auto& [name, value] : values)
            ini += (name + QStringLiteral("=\"") + value + QStringLiteral("\"\r\n")).toUtf8();
        ini += "\r\n[Setting]\r\nVrijemeAutoDownloadaNovihVerz=0\r\n";
        EXPECT_TRUE(writeAll(path(QStringLiteral("config/Tarvino/Tarvino.ini")), ini));
    }

    /// Runs the program to its end; `meanwhile` acts while it runs.
    RunResult run(const QStringList& arguments, const std::function<void()>& meanwhile = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"WinDir", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("PATH"), path(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(folder + kProgramName, arguments);
        if (meanwhile)
            meanwhile();
        // Beyond the tool's own 60 s limit for a transfer that receives nothing.
        if (!process.waitForFinished(90000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "the program did not end within 90 seconds";
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList journal() const
    {
        return fromAnsi(readAll(folder + QStringLiteral("Update/Update.log")))
            .split(CRLF, Qt::SkipEmptyParts);
    }

    /// The installation holds `want` byte for byte and nothing else.
    void expectFiles(const Files& want) const { expectSame(snapshot(folder), want); }

    /// The release's files over the old installation: nothing of the old lost, no leftovers of the run.
    void expectInstalled(const QString& release) const
    {
        const Files released = expectedAfter(release);
        ASSERT_GT(released.size(), 10) << "the release's manifest was not read";
        Files want = before;
        want.insert(released);
        expectFiles(want);
    }

    /// Each of `lines` lies within a journal line, in this order.
    void expectJournal(const QStringList& lines) const
    {
        const QStringList all = journal();
        qsizetype at = 0;
        for (const QString& line : lines) {
            while (at < all.size() && !all.at(at).contains(line))
                ++at;
            ASSERT_LT(at++, all.size())
                << "not in the journal (in this order): " << line.toStdString() << "\n"
                << all.join(QLatin1Char('\n')).toStdString();
        }
    }

private:
    QTemporaryDir m_dir;

public:
    const QString folder = m_dir.path() + QStringLiteral("/install/");
    Files before;
};

/// Both update servers on one port, with the engine given.
Settings servers(quint16 port, bool chilkat)
{
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    return {{QStringLiteral("PrimarniServer23"), address},
            {QStringLiteral("SekundarniServer23"), address},
            {QStringLiteral("KoristiChilkatZaDownload"), QVariant(chilkat).toString()}};
}

const QStringList kUpdate = {QStringLiteral("--azuriranje"), QStringLiteral("--da")};

// The lines every successful update writes, around those of its source.
const QStringList kPlanned = {QStringLiteral("NapraviRsŠtoTrebaAžurirati - početak"),
                              QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Računi.exe"),
                              QStringLiteral("NapraviRsŠtoTrebaAžurirati - kraj")};
const QStringList kInstalled = {
    QStringLiteral("UpdatePrograma - Kopiranje novog programa: Računi.exe"),
    QStringLiteral("UpdatePrograma - Kopiranje nove komponente: Tražilica.ocx"),
    QStringLiteral("UpdatePrograma - Kopiranje Verzije.txt"),
    QStringLiteral("UpdatePrograma - Kraj"),
    QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!"),
    QStringLiteral("********************* KRAJ UPDATE")};

/// The journal lines of a fetch of Računi.exe's archive from the regular release at `address`.
QStringList fetched(const QString& address)
{
    return {
        QStringLiteral("SnimitiSaInterneta - Početak skidanja Racuni.7z"),
        QStringLiteral("Početak Download: ") + address + QStringLiteral("/download/Verzija23/Racuni.7z"),
        QStringLiteral("SnimitiSaInterneta - Veličina presnimljene datoteke Racuni.7z je 10160, a veličina "
                       "originalne datoteke je 10160. OK."),
        QStringLiteral("Unzipaj- Kraj Računi.exe")};
}

// nginx serving the sample releases, or a copy of them to break.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(sampleRoot().isEmpty());
        serve(sampleRoot() + QStringLiteral("/www"));
    }
    void serve(const QString& www, const QString& extra = {})
    {
        m_nginx = std::make_unique<Nginx>(www, extra);
        ASSERT_TRUE(m_nginx->running) << m_nginx->error.toStdString();
    }
    Settings overHttp() const
    {
        return servers(m_nginx->httpPort, false) +
               Settings{{QStringLiteral("UpdateLok23N"), QStringLiteral("2")},
                        {QStringLiteral("UpdateLok23NProbna"), QStringLiteral("2")}};
    }

    /// Runs an update that must install `release` byte for byte and journal `lines`.
    static void expectUpdate(const Workstation& ws, const QStringList& arguments, const QString& release,
                             const QStringList& lines)
    {
        const RunResult run = ws.run(arguments);
        EXPECT_EQ(run.status, kDone) << run.err.toStdString();
        ws.expectInstalled(release);
        ws.expectJournal(lines);
    }

    /// The installation stays as it was, the operator is told why, the run fails.
    static void expectFailedSafely(const Workstation& ws, const RunResult& run, const QString& why)
    {
        EXPECT_EQ(run.status, kFailed) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(why)) << run.err.toStdString();
        ws.expectFiles(ws.before);
        for (const QString& line : ws.journal())
            EXPECT_FALSE(line.contains(QStringLiteral("UpdatePrograma"))) << line.toStdString();
        ws.expectJournal(
            {QStringLiteral("Unzipaj- Kraj Računi.exe"), why,
             QStringLiteral("cmdDownloadAndUpdate_Click Nije uspio snimiti sa interneta/mrežne lokacije"),
             QStringLiteral("********************* KRAJ UPDATE")});
    }

    std::unique_ptr<Nginx> m_nginx;
    QTemporaryDir m_dir;
    const QString m_www = m_dir.path() + QStringLiteral("/www/");
    const QString m_kasa = m_www + QStringLiteral("download/Verzija23/Kasa.7z");
    const QString m_regular = sampleRoot() + kRegular;
};

} // namespace

TEST_F(EndToEnd, CheckPrintsThePlanAndChangesNothing)
{
    Workstation ws;
    ws.settings(overHttp());

    const RunResult run = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    const QStringList rows = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(rows.size(), 3) << run.out.toStdString();
    EXPECT_TRUE(rows.first().startsWith(QStringLiteral("Ime programa/komponente")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("Računi.exe"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("Knjigovodstvo.exe"))) << "not newer, not planned";
    EXPECT_TRUE(rows.last().startsWith(QStringLiteral("UKUPNO:")));
    ws.expectFiles(ws.before);
    ws.expectJournal(kPlanned);
}

TEST_F(EndToEnd, UpdateFromThePrimaryServerOverHttp)
{
    Workstation ws;
    ws.settings(overHttp());
    expectUpdate(ws, kUpdate, m_regular,
                 kPlanned + fetched(QStringLiteral("http://127.0.0.1:%1").arg(m_nginx->httpPort)) +
                     kInstalled);
}

TEST_F(EndToEnd, UpdateFromTheSecondaryServerOverHttpsWithTheExtraAuthority)
{
    Workstation ws;
    ws.settings(servers(m_nginx->httpsPort, true) +
                Settings{{QStringLiteral("DodatniCA23"), TestCertificates::instance().authorityPath},
                         {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}});
    expectUpdate(ws, kUpdate, m_regular,
                 kPlanned + fetched(QStringLiteral("https://127.0.0.1:%1").arg(m_nginx->httpsPort)) +
                     kInstalled);
}

TEST_F(EndToEnd, UpdateOfTheTrialChannel)
{
    Workstation ws;
    ws.settings(overHttp());
    expectUpdate(
        ws, {QStringLiteral("--probno-azuriranje"), QStringLiteral("--da")},
        m_regular + QStringLiteral("Probna/"),
        {QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Knjigovodstvo.exe"),
         QStringLiteral("Početak Download: http://127.0.0.1:%1/download/Verzija23/Probna/Knjigovodstvo.7z")
             .arg(m_nginx->httpPort),
         QStringLiteral("UpdatePrograma - Kopiranje novog programa: Knjigovodstvo.exe"),
         QStringLiteral("UpdatePrograma - Kopiranje Verzije.txt"), QStringLiteral("UpdatePrograma - Kraj")});
}

TEST_F(EndToEnd, DistributionIntoAFolderThenUpdateOfAnotherInstallationFromIt)
{
    Workstation first;
    const QString shared = first.path(QStringLiteral("distribucija/"));
    ASSERT_TRUE(QDir().mkpath(shared));
    first.settings(overHttp() + Settings{{QStringLiteral("UpdateLokDirMr23"), shared},
                                         {QStringLiteral("UpdateLokDirMr.tarvino.Ba.23"), shared}});

    const RunResult distributed = first.run({QStringLiteral("--distribucija"), QStringLiteral("--da")});
    EXPECT_EQ(distributed.status, kDone) << distributed.err.toStdString();
    first.expectFiles(first.before);
    EXPECT_TRUE(distributed.err.contains(QStringLiteral("Uspješno skinuti programi na lokaciju ") + shared))
        << distributed.err.toStdString();
    // The folder holds the release as the server publishes it.
    Files published = snapshot(m_regular);
    published.removeIf([](Files::iterator it) { return it.key().startsWith(QStringLiteral("Probna/")); });
    expectSame(snapshot(shared), published);

    // From the folder alone: the servers named lead nowhere.
    Workstation second;
    second.settings(servers(9, false) + Settings{{QStringLiteral("UpdateLok23N"), QStringLiteral("1")},
                                                 {QStringLiteral("UpdateLokDir23"), shared}});
    expectUpdate(second, kUpdate, m_regular,
                 kPlanned +
                     QStringList{QStringLiteral("SnimitiSaMrežneLokacije - Početak kopiranja Racuni.7z"),
                                 QStringLiteral("Unzipaj- Kraj Računi.exe")} +
                     kInstalled);
}

TEST_F(EndToEnd, TruncatedOrMissingArchiveOnTheServerFailsSafely)
{
    ASSERT_TRUE(copyTree(sampleRoot() + QStringLiteral("/www/"), m_www));
    const std::pair<bool, QString> cases[] = {
        {false,
         QStringLiteral("Veličina presnimljene datoteke Kasa.7z je 4101, a veličina originalne datoteke je "
                        "8202 i one nisu iste.")},
        {true, QStringLiteral("Greška u downloadu datoteke: Kasa.7z HTTP 404 Not Found")}};
    for (const auto& [remove, why] : cases) {
        SCOPED_TRACE(remove ? "missing" : "truncated");
        QFile archive(m_kasa);
        ASSERT_TRUE(remove ? archive.remove() : archive.resize(archive.size() / 2));
        ASSERT_NO_FATAL_FAILURE(serve(m_www));
        Workstation ws;
        ws.settings(overHttp());
        expectFailedSafely(ws, ws.run(kUpdate), why);
    }
}

TEST_F(EndToEnd, ServerStoppedWhileAnArchiveIsOnItsWayFailsSafely)
{
    // The second archive comes from a socket of the test: it sends the start of the
    // body and no more, then the server is stopped in the middle of the transfer.
    ASSERT_TRUE(copyTree(sampleRoot() + QStringLiteral("/www/"), m_www));
    QTcpServer upstream;
    ASSERT_TRUE(upstream.listen(QHostAddress::LocalHost, 0));
    ASSERT_NO_FATAL_FAILURE(serve(m_www, QStringLiteral("location = /download/Verzija23/Kasa.7z { proxy_pass "
                                                        "http://127.0.0.1:%1; proxy_buffering off; }")
                                             .arg(upstream.serverPort())));
    Workstation ws;
    ws.settings(overHttp());

    std::unique_ptr<QTcpSocket> request;
    const RunResult run = ws.run(kUpdate, [&] {
        ASSERT_TRUE(upstream.waitForNewConnection(30000)) << "the archive was never asked for";
        request.reset(upstream.nextPendingConnection());
        QByteArray head;
        while (!head.contains("\r\n\r\n") && request->waitForReadyRead(10000))
            head += request->readAll();
        const QByteArray body = readAll(m_kasa);
        request->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\n\r\n" + body.left(1000));
        ASSERT_TRUE(request->waitForBytesWritten(10000));
        m_nginx->stop();
    });
    expectFailedSafely(ws, run, QStringLiteral("Greška u downloadu datoteke: Kasa.7z "));
}
