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
#include <QProcessEnvironment>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
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
const QString kTrial = QStringLiteral("/www/download/Verzija23/Probna/");
const QString kProgramName = QStringLiteral("TarvinoLiveUpdate23");
const QString kOwnRow = QStringLiteral("TarvinoLiveUpdate23.exe");

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

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QDir(from).relativeFilePath(path);
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(path, target))
            return false;
        QFile(target).setPermissions(QFileInfo(path).permissions());
    }
    return true;
}

/// Every file under a folder by its relative path; the tool's own work folder is left out.
Files snapshot(const QString& folder)
{
    Files files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        if (!relative.startsWith(QStringLiteral("Update/")))
            files.insert(relative, readAll(path));
    }
    return files;
}

struct RunResult {
    int status = -1;
    QString out;
    QString err;
};

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
        if (!ok) {
            ADD_FAILURE() << "sample release: " << output.toStdString();
            return QString();
        }
        return dir.path() + QStringLiteral("/s");
    }();
    return root;
}

QStringList manifestNames(const QString& manifest)
{
    QStringDecoder decoder(QStringConverter::System);
    const QString text = decoder.decode(readAll(manifest));
    QStringList names;
    for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char(';'), 0, 0);
    return names;
}

/// Scripts and help files have folders of their own.
QString installedPath(const QString& name)
{
    const QString kind = extensionOf(name);
    return kind == QLatin1String("enc")   ? QStringLiteral("Skrite za izmjenu baze/") + name
           : kind == QLatin1String("chm") ? QStringLiteral("Help/") + name
                                          : name;
}

/// What an installation holds after an update from the release in `release`
/// (a folder ending in '/'): each row's unpacked archive, its manifest and support program.
/// The tool's own row is never installed by the tool itself.
Files expectedAfter(const QString& release)
{
    static QMap<QString, Files> cache;
    if (cache.contains(release))
        return cache.value(release);
    Files files;
    QTemporaryDir unpacked;
    for (const QString& name : manifestNames(release + QStringLiteral("Verzije.txt"))) {
        if (name == kOwnRow)
            continue;
        const QString archive = release + packedName(name);
        const QString kind = extensionOf(name);
        if (kind == QLatin1String("chm") || kind == QLatin1String("enc") || kind == QLatin1String("ocx")) {
            files.insert(installedPath(name), readAll(archive));
            continue;
        }
        bool ok = false;
        const QString output = runOutput(
            QStringLiteral("7za"),
            {QStringLiteral("e"), archive, QStringLiteral("-aoa"), QStringLiteral("-o") + unpacked.path()},
            &ok);
        EXPECT_TRUE(ok) << output.toStdString();
        files.insert(installedPath(name), readAll(unpacked.path() + QLatin1Char('/') + name));
    }
    files.insert(QStringLiteral("Verzije.txt"), readAll(release + QStringLiteral("Verzije.txt")));
    files.insert(QStringLiteral("TeamViewerQS.exe"), readAll(release + QStringLiteral("TeamViewerQS.exe")));
    cache.insert(release, files);
    return files;
}

/// nginx on two free loopback ports (http and https) serving one www folder, run in
/// the foreground as a child of the test so that it ends with the test.
class Nginx {
public:
    /// `stallPort`: requests for `stalledPath` are passed on to that port on 127.0.0.1.
    Nginx(const QString& www, quint16 stallPort = 0, const QString& stalledPath = {})
    {
        const TestCertificates& certificates = TestCertificates::instance();
        if (!certificates.ok()) {
            m_error = certificates.error();
            return;
        }
        const QString dir = m_dir.path() + QLatin1Char('/');
        QDir().mkpath(dir + QStringLiteral("temp"));
        QString user;
        if (::geteuid() == 0) {
            // Workers of a server started by root would run as an account that cannot read the test's folders.
            user = QStringLiteral("user %1 %2;\n")
                       .arg(QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name),
                            QString::fromLocal8Bit(::getgrgid(::getegid())->gr_name));
        }
        const QString stall =
            stallPort == 0 ? QString()
                           : QStringLiteral("location = %1 { proxy_pass http://127.0.0.1:%2; proxy_buffering off; }")
                                 .arg(stalledPath)
                                 .arg(stallPort);

        // A port found free can be taken before nginx binds it: try again with others.
        for (int attempt = 0; attempt < 5 && !m_running; ++attempt) {
            httpPort = freePort();
            httpsPort = freePort();
            const QString conf = user + QStringLiteral(R"(daemon off; worker_processes 1; pid %1nginx.pid; error_log %1error.log;
events { worker_connections 64; }
http {
  access_log off; default_type application/octet-stream;
  client_body_temp_path %1temp/body; proxy_temp_path %1temp/proxy; fastcgi_temp_path %1temp/fastcgi;
  uwsgi_temp_path %1temp/uwsgi; scgi_temp_path %1temp/scgi;
  server { listen 127.0.0.1:%2; root %4; %5 }
  server { listen 127.0.0.1:%3 ssl; ssl_certificate %6; ssl_certificate_key %7; root %4; %5 }
}
)")
                                            .arg(dir)
                                            .arg(httpPort)
                                            .arg(httpsPort)
                                            .arg(www, stall, certificates.serverCertificatePath,
                                                 certificates.serverKeyPath);
            writeAll(dir + QStringLiteral("nginx.conf"), conf.toUtf8());
            m_process = std::make_unique<QProcess>();
            m_process->setProcessChannelMode(QProcess::MergedChannels);
            m_process->start(QStringLiteral("nginx"),
                             {QStringLiteral("-p"), dir, QStringLiteral("-c"),
                              dir + QStringLiteral("nginx.conf"), QStringLiteral("-e"),
                              dir + QStringLiteral("error.log")});
            m_running = m_process->waitForStarted(10000) && listening();
            if (!m_running) {
                m_error = m_process->errorString() + QLatin1Char(' ') +
                          QString::fromLocal8Bit(m_process->readAll()) +
                          QString::fromLocal8Bit(readAll(dir + QStringLiteral("error.log")));
                stop();
            }
        }
    }
    ~Nginx() { stop(); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool running() const { return m_running; }
    QString error() const { return m_error; }

    /// Fast shutdown: open connections are closed at once.
    void stop()
    {
        if (!m_process)
            return;
        if (m_process->state() != QProcess::NotRunning) {
            m_process->terminate();
            if (!m_process->waitForFinished(10000)) {
                m_process->kill();
                m_process->waitForFinished(10000);
            }
        }
        m_process.reset();
        m_running = false;
    }

    quint16 httpPort = 0;
    quint16 httpsPort = 0;

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
        for (const quint16 port : {httpPort, httpsPort}) {
            bool up = false;
            for (int i = 0; i < 100 && !up; ++i) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, port);
                up = socket.waitForConnected(100);
                if (!up && m_process->waitForFinished(50))
                    return false;
            }
            if (!up)
                return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    bool m_running = false;
    QString m_error;
};

/// A copy of the sample installation with the program in it, a settings store of its
/// own and a stand-in for the registration tool on PATH.
class Workstation {
public:
    Workstation()
    {
        m_folder = m_dir.path() + QStringLiteral("/install/");
        EXPECT_TRUE(copyTree(sampleRoot() + QStringLiteral("/install/"), m_folder));
        EXPECT_TRUE(QFile::copy(QStringLiteral(TARVINO_PROGRAM), m_folder + kProgramName));
        const QString regsvr = m_dir.path() + QStringLiteral("/bin/RegSvr32.exe");
        writeAll(regsvr, "#!/bin/sh\nexit 0\n");
        QFile(regsvr).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_before = snapshot(m_folder);
    }

    QString folder() const { return m_folder; }
    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    const Files& before() const { return m_before; }

    /// Writes the settings store: the given values under [Settings], the automatic
    /// download switched off.
    void settings(const Settings& values)
    {
        QByteArray ini = "[Settings]\r\n";
        for (const auto& [name, value] : values)
            ini += (name + QStringLiteral("=\"") + value + QStringLiteral("\"\r\n")).toUtf8();
        ini += "\r\n[Setting]\r\nVrijemeAutoDownloadaNovihVerz=0\r\n";
        EXPECT_TRUE(writeAll(path(QStringLiteral("config/Tarvino/Tarvino.ini")), ini));
    }

    RunResult run(const QStringList& arguments)
    {
        QProcess process;
        start(process, arguments);
        return finish(process);
    }

    void start(QProcess& process, const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WinDir"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("PATH"),
                   path(QStringLiteral("bin")) + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(m_folder + kProgramName, arguments);
    }

    static RunResult finish(QProcess& process)
    {
        RunResult run;
        // Beyond the tool's own 60 s limit for a transfer that receives nothing.
        if (!process.waitForFinished(90000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "the program did not end within 90 seconds";
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QStringList journal() const
    {
        return fromAnsi(readAll(m_folder + QStringLiteral("Update/Update.log")))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    Files m_before;
};

/// The installation holds `want` byte for byte and nothing else.
void expectFiles(const Workstation& ws, const Files& want)
{
    const Files now = snapshot(ws.folder());
    EXPECT_EQ(now.keys(), want.keys());
    for (auto it = want.begin(); it != want.end(); ++it)
        EXPECT_TRUE(now.value(it.key()) == it.value()) << it.key().toStdString() << " is not as expected";
}

void expectUnchanged(const Workstation& ws)
{
    expectFiles(ws, ws.before());
}

/// The release's files over the old installation: nothing of the old lost, no leftovers of the run.
void expectInstalled(const Workstation& ws, const QString& release)
{
    const Files released = expectedAfter(release);
    ASSERT_GT(released.size(), 10) << "the release's manifest was not read";
    Files want = ws.before();
    want.insert(released);
    expectFiles(ws, want);
}

/// Each of `lines` is part of a journal line, in this order.
void expectJournal(const Workstation& ws, const QStringList& lines)
{
    const QStringList journal = ws.journal();
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < journal.size() && !journal.at(at).contains(line))
            ++at;
        ASSERT_LT(at, journal.size()) << "not in the journal (in this order): " << line.toStdString() << "\n"
                                      << journal.join(QLatin1Char('\n')).toStdString();
        ++at;
    }
}

QString regularRelease() { return sampleRoot() + kRegular; }
QString trialRelease() { return sampleRoot() + kTrial; }
QString server(quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); }

QString url(const QString& scheme, quint16 port, const QString& folder = QStringLiteral("download/Verzija23/"))
{
    return QStringLiteral("%1://127.0.0.1:%2/%3").arg(scheme).arg(port).arg(folder);
}

/// The journal lines of a fetch of Računi.exe's archive from `url` (the release folder).
QStringList fetched(const QString& url)
{
    return {QStringLiteral("SnimitiSaInterneta - Početak skidanja Racuni.7z"),
            QStringLiteral("Početak Download: ") + url + QStringLiteral("Racuni.7z"),
            QStringLiteral("SnimitiSaInterneta - Veličina presnimljene datoteke Racuni.7z je 10160, a veličina "
                           "originalne datoteke je 10160. OK."),
            QStringLiteral("Unzipaj- Kraj Računi.exe")};
}

Settings overHttp(const Nginx& nginx)
{
    return {{QStringLiteral("PrimarniServer23"), server(nginx.httpPort)},
            {QStringLiteral("SekundarniServer23"), server(nginx.httpPort)},
            {QStringLiteral("KoristiChilkatZaDownload"), QStringLiteral("false")},
            {QStringLiteral("UpdateLok23N"), QStringLiteral("2")},
            {QStringLiteral("UpdateLok23NProbna"), QStringLiteral("2")}};
}

/// A network folder; the servers named lead nowhere.
Settings fromFolder(const QString& folder)
{
    return {{QStringLiteral("PrimarniServer23"), QStringLiteral("127.0.0.1:9")},
            {QStringLiteral("SekundarniServer23"), QStringLiteral("127.0.0.1:9")},
            {QStringLiteral("UpdateLok23N"), QStringLiteral("1")},
            {QStringLiteral("UpdateLokDir23"), folder}};
}

const QStringList kUpdate = {QStringLiteral("--azuriranje"), QStringLiteral("--da")};

// The lines every successful update writes, around those of its source.
const QStringList kPlanned = {
    QStringLiteral("NapraviRsŠtoTrebaAžurirati - početak"),
    QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Računi.exe"),
    QStringLiteral("NapraviRsŠtoTrebaAžurirati - kraj"),
};
const QStringList kInstalled = {
    QStringLiteral("UpdatePrograma - Kopiranje novog programa: Računi.exe"),
    QStringLiteral("UpdatePrograma - Kopiranje nove komponente: Tražilica.ocx"),
    QStringLiteral("UpdatePrograma - Kopiranje Verzije.txt"),
    QStringLiteral("UpdatePrograma - Kraj"),
    QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!"),
    QStringLiteral("********************* KRAJ UPDATE"),
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(sampleRoot().isEmpty()); }
};

/// One whole update: how the workstation is set up, and what its journal then says.
struct UpdateCase {
    const char* name;
    bool trial;
    std::function<Settings(const Nginx&, const Workstation&)> settings;
    std::function<QStringList(const Nginx&)> journal;
};

class Update : public EndToEnd, public ::testing::WithParamInterface<UpdateCase> {};

const UpdateCase kUpdates[] = {
    {"FromThePrimaryServerOverHttp", false, [](const Nginx& n, const Workstation&) { return overHttp(n); },
     [](const Nginx& n) { return kPlanned + fetched(url(QStringLiteral("http"), n.httpPort)) + kInstalled; }},
    {"FromTheSecondaryServerOverHttpsWithTheExtraAuthority", false,
     [](const Nginx& n, const Workstation&) {
         return Settings {{QStringLiteral("PrimarniServer23"), server(n.httpsPort)},
                          {QStringLiteral("SekundarniServer23"), server(n.httpsPort)},
                          {QStringLiteral("KoristiChilkatZaDownload"), QStringLiteral("true")},
                          {QStringLiteral("DodatniCA23"), TestCertificates::instance().authorityPath},
                          {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}};
     },
     [](const Nginx& n) { return kPlanned + fetched(url(QStringLiteral("https"), n.httpsPort)) + kInstalled; }},
    {"FromANetworkFolder", false,
     [](const Nginx&, const Workstation& ws) {
         const QString share = ws.path(QStringLiteral("mreza/Verzija23/"));
         EXPECT_TRUE(copyTree(regularRelease(), share));
         QDir(share + QStringLiteral("Probna")).removeRecursively();
         return fromFolder(share);
     },
     [](const Nginx&) {
         return kPlanned +
                QStringList {QStringLiteral("SnimitiSaMrežneLokacije - Početak kopiranja Racuni.7z"),
                             QStringLiteral("Unzipaj- Kraj Računi.exe")} +
                kInstalled;
     }},
    {"OfTheTrialChannel", true, [](const Nginx& n, const Workstation&) { return overHttp(n); },
     [](const Nginx& n) {
         return QStringList {
             QStringLiteral("NapraviRsŠtoTrebaAžurirati - Treba instalirati: Knjigovodstvo.exe"),
             QStringLiteral("Početak Download: ") +
                 url(QStringLiteral("http"), n.httpPort, QStringLiteral("download/Verzija23/Probna/")) +
                 QStringLiteral("Knjigovodstvo.7z"),
             QStringLiteral("UpdatePrograma - Kopiranje novog programa: Knjigovodstvo.exe"),
             QStringLiteral("UpdatePrograma - Kopiranje Verzije.txt"), QStringLiteral("UpdatePrograma - Kraj")};
     }},
};

} // namespace

TEST_F(EndToEnd, CheckPrintsThePlanAndChangesNothing)
{
    Nginx nginx(sampleRoot() + QStringLiteral("/www"));
    ASSERT_TRUE(nginx.running()) << nginx.error().toStdString();
    Workstation ws;
    ws.settings(overHttp(nginx));

    const RunResult run = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    const QStringList rows = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(rows.size(), 3) << run.out.toStdString();
    EXPECT_TRUE(rows.first().startsWith(QStringLiteral("Ime programa/komponente")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("Računi.exe"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("Knjigovodstvo.exe"))) << "not newer, not planned";
    EXPECT_TRUE(rows.last().startsWith(QStringLiteral("UKUPNO:")));
    expectUnchanged(ws);
    expectJournal(ws, kPlanned);
}

TEST_P(Update, InstallsTheReleaseByteForByte)
{
    const UpdateCase& c = GetParam();
    Nginx nginx(sampleRoot() + QStringLiteral("/www"));
    ASSERT_TRUE(nginx.running()) << nginx.error().toStdString();
    Workstation ws;
    ws.settings(c.settings(nginx, ws));

    const RunResult run = ws.run({c.trial ? QStringLiteral("--probno-azuriranje") : kUpdate[0], kUpdate[1]});
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    expectInstalled(ws, c.trial ? trialRelease() : regularRelease());
    expectJournal(ws, c.journal(nginx));
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, Update, ::testing::ValuesIn(kUpdates),
                         [](const ::testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, DistributionIntoAFolderThenUpdateOfAnotherInstallationFromIt)
{
    Nginx nginx(sampleRoot() + QStringLiteral("/www"));
    ASSERT_TRUE(nginx.running()) << nginx.error().toStdString();
    Workstation first;
    const QString shared = first.path(QStringLiteral("distribucija/"));
    ASSERT_TRUE(QDir().mkpath(shared));
    first.settings(overHttp(nginx) + Settings {{QStringLiteral("UpdateLokDirMr23"), shared},
                                               {QStringLiteral("UpdateLokDirMr.tarvino.Ba.23"), shared}});

    const RunResult distributed = first.run({QStringLiteral("--distribucija"), QStringLiteral("--da")});
    EXPECT_EQ(distributed.status, kDone) << distributed.err.toStdString();
    expectUnchanged(first);
    EXPECT_TRUE(distributed.err.contains(QStringLiteral("Uspješno skinuti programi na lokaciju ") + shared))
        << distributed.err.toStdString();
    // The folder holds the release as the server publishes it.
    const QStringList published = QDir(regularRelease()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(QDir(shared).entryList(QDir::Files, QDir::Name), published);
    for (const QString& name : published)
        EXPECT_TRUE(readAll(shared + name) == readAll(regularRelease() + name)) << name.toStdString();

    Workstation second;
    second.settings(fromFolder(shared));
    const RunResult run = second.run(kUpdate);
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    expectInstalled(second, regularRelease());
    expectJournal(second, kPlanned + kInstalled);
}

// Faults: the installation stays as it was, the operator is told why, the run fails.
class FaultRun : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        m_www = m_dir.path() + QStringLiteral("/www/");
        ASSERT_TRUE(copyTree(sampleRoot() + QStringLiteral("/www/"), m_www));
    }
    QString kasa() const { return m_www + QStringLiteral("download/Verzija23/Kasa.7z"); }

    void expectFailedSafely(const Workstation& ws, const RunResult& run, const QString& why)
    {
        EXPECT_EQ(run.status, kFailed) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(why)) << run.err.toStdString();
        expectUnchanged(ws);
        for (const QString& line : ws.journal())
            EXPECT_FALSE(line.contains(QStringLiteral("UpdatePrograma"))) << line.toStdString();
        expectJournal(
            ws, {QStringLiteral("Unzipaj- Kraj Računi.exe"), why,
                 QStringLiteral("cmdDownloadAndUpdate_Click Nije uspio snimiti sa interneta/mrežne lokacije"),
                 QStringLiteral("********************* KRAJ UPDATE")});
    }

    /// An update from the server once the archive of Kasa.exe has been truncated or removed.
    void expectBrokenArchiveRefused(bool remove, const QString& why)
    {
        QFile archive(kasa());
        ASSERT_TRUE(remove ? archive.remove() : archive.resize(archive.size() / 2));
        Nginx nginx(m_www);
        ASSERT_TRUE(nginx.running()) << nginx.error().toStdString();
        Workstation ws;
        ws.settings(overHttp(nginx));
        expectFailedSafely(ws, ws.run(kUpdate), why);
    }

    QTemporaryDir m_dir;
    QString m_www;
};

TEST_F(FaultRun, TruncatedArchiveOnTheServer)
{
    expectBrokenArchiveRefused(false, QStringLiteral("Veličina presnimljene datoteke Kasa.7z je 4101, a veličina "
                                                     "originalne datoteke je 8202 i one nisu iste."));
}

TEST_F(FaultRun, ArchiveMissingOnTheServer)
{
    expectBrokenArchiveRefused(true, QStringLiteral("Greška u downloadu datoteke: Kasa.7z HTTP 404 Not Found"));
}

TEST_F(FaultRun, ServerStoppedWhileAnArchiveIsOnItsWay)
{
    // The second archive comes from a socket of the test: it sends the start of the
    // body and no more, then the server is stopped in the middle of the transfer.
    QTcpServer upstream;
    ASSERT_TRUE(upstream.listen(QHostAddress::LocalHost, 0));
    Nginx nginx(m_www, upstream.serverPort(), QStringLiteral("/download/Verzija23/Kasa.7z"));
    ASSERT_TRUE(nginx.running()) << nginx.error().toStdString();
    Workstation ws;
    ws.settings(overHttp(nginx));

    QProcess program;
    ws.start(program, kUpdate);
    ASSERT_TRUE(upstream.waitForNewConnection(30000)) << "the archive was never asked for";
    std::unique_ptr<QTcpSocket> request(upstream.nextPendingConnection());
    QByteArray head;
    while (!head.contains("\r\n\r\n") && request->waitForReadyRead(10000))
        head += request->readAll();
    const QByteArray body = readAll(kasa());
    request->write("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\n\r\n" + body.left(1000));
    ASSERT_TRUE(request->waitForBytesWritten(10000));

    nginx.stop();
    expectFailedSafely(ws, Workstation::finish(program), QStringLiteral("Greška u downloadu datoteke: Kasa.7z "));
}
