// Whole runs of the built program, copied into a sample installation, against nginx
// on 127.0.0.1 serving the sample releases over http and https.
#include "Harness.h"
#include "TestCertificates.h"
#include "core/Text.h"
#include "plan/FolderLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QVariant>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace tarvino;
using namespace tarvino::test;

namespace {

const QString kRegular = QStringLiteral("/www/download/Verzija23/");
const QString kProgramName = QStringLiteral("TarvinoLiveUpdate23");
// Exit statuses of the unattended run.
constexpr int kDone = 0;
constexpr int kFailed = 1;

using Settings = QList<std::pair<QString, QString>>;

/// A copy of the sample installation with the program in it, a settings store of its
/// own and a stand-in for the registration tool on PATH.
class NativeWorkstation : public Workstation {
public:
    NativeWorkstation() : Workstation(sampleRoot() + QStringLiteral("/install/"), fromAnsi)
    {
        EXPECT_TRUE(QFile::copy(QStringLiteral(TARVINO_PROGRAM), folder + kProgramName));
        writeAll(path(QStringLiteral("bin/RegSvr32.exe")), "#!/bin/sh\nexit 0\n");
        QFile(path(QStringLiteral("bin/RegSvr32.exe")))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        before = snapshot(folder);
    }

    /// The settings store: these values under [Settings], the automatic download off.
    void settings(const Settings& values) const
    {
        QByteArray ini = "[Settings]\r\n";
        for (const auto& [name, value] : values)
            ini += (name + QStringLiteral("=\"") + value + QStringLiteral("\"\r\n")).toUtf8();
        ini += "\r\n[Setting]\r\nVrijemeAutoDownloadaNovihVerz=0\r\n";
        EXPECT_TRUE(writeAll(path(QStringLiteral("config/Tarvino/Tarvino.ini")), ini));
    }

    /// Runs the program to its end, beyond its own 60 s limit for a transfer that receives nothing.
    RunResult run(const QStringList& arguments, const std::function<void()>& meanwhile = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"WinDir", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("PATH"), path(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return runToEnd(folder + kProgramName, arguments, env, decode, meanwhile);
    }
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
const QString kSuccess = QStringLiteral("cmdDownloadAndUpdate_Click Uspješno instalirani novi programi!");

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

    /// The installation stays as it was, the operator is told why, the run fails.
    static void expectFailedSafely(const NativeWorkstation& ws, const RunResult& run, const QString& why)
    {
        EXPECT_EQ(run.status, kFailed) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(why)) << run.err.toStdString();
        ws.expectFiles(ws.before);
        ws.expectJournal({why, QStringLiteral("cmdDownloadAndUpdate_Click Nije uspio snimiti sa interneta/mrežne lokacije")});
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
    NativeWorkstation ws;
    ws.settings(overHttp());

    const RunResult run = ws.run({QStringLiteral("--provjera")});
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Ime programa/komponente"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Računi.exe"))) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(QStringLiteral("Knjigovodstvo.exe"))) << "not newer, not planned";
    ws.expectFiles(ws.before);
}

TEST_F(EndToEnd, UpdatesInstallTheirReleaseFromTheirSource)
{
    const QString http = QStringLiteral("http://127.0.0.1:%1/download/Verzija23/").arg(m_nginx->httpPort);
    const QString https = QStringLiteral("https://127.0.0.1:%1/download/Verzija23/").arg(m_nginx->httpsPort);
    const struct {
        const char* name;
        Settings settings;
        QStringList arguments;
        QString release;
        QString fetched; // the journal line that shows where the first planned archive came from
    } rows[] = {
        {.name = "primary server over http", .settings = overHttp(), .arguments = kUpdate,
         .release = m_regular, .fetched = QStringLiteral("Početak Download: ") + http + QStringLiteral("Racuni.7z")},
        {.name = "secondary server over https, trusted through the extra authority",
         .settings = servers(m_nginx->httpsPort, true) +
                     Settings{{QStringLiteral("DodatniCA23"), TestCertificates::instance().authorityPath},
                              {QStringLiteral("UpdateLok23N"), QStringLiteral("0")}},
         .arguments = kUpdate, .release = m_regular,
         .fetched = QStringLiteral("Početak Download: ") + https + QStringLiteral("Racuni.7z")},
        {.name = "trial channel", .settings = overHttp(),
         .arguments = {QStringLiteral("--probno-azuriranje"), QStringLiteral("--da")},
         .release = m_regular + QStringLiteral("Probna/"),
         .fetched = QStringLiteral("Početak Download: ") + http + QStringLiteral("Probna/Knjigovodstvo.7z")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        NativeWorkstation ws;
        ws.settings(row.settings);
        const RunResult run = ws.run(row.arguments);
        EXPECT_EQ(run.status, kDone) << run.err.toStdString();
        ws.expectInstalled(row.release);
        ws.expectJournal({row.fetched, kSuccess});
    }
}

TEST_F(EndToEnd, DistributionIntoAFolderThenUpdateOfAnotherInstallationFromIt)
{
    NativeWorkstation first;
    const QString shared = first.path(QStringLiteral("distribucija/"));
    ASSERT_TRUE(QDir().mkpath(shared));
    first.settings(overHttp() + Settings{{QStringLiteral("UpdateLokDirMr23"), shared},
                                         {QStringLiteral("UpdateLokDirMr.tarvino.Ba.23"), shared}});

    const RunResult distributed = first.run({QStringLiteral("--distribucija"), QStringLiteral("--da")});
    EXPECT_EQ(distributed.status, kDone) << distributed.err.toStdString();
    first.expectFiles(first.before);
    // The folder holds the release as the server publishes it.
    Files published = snapshot(m_regular);
    published.removeIf([](Files::iterator it) { return it.key().startsWith(QStringLiteral("Probna/")); });
    expectSame(snapshot(shared), published);

    // From the folder alone: the servers named lead nowhere.
    NativeWorkstation second;
    second.settings(servers(9, false) + Settings{{QStringLiteral("UpdateLok23N"), QStringLiteral("1")},
                                                 {QStringLiteral("UpdateLokDir23"), shared}});
    const RunResult run = second.run(kUpdate);
    EXPECT_EQ(run.status, kDone) << run.err.toStdString();
    second.expectInstalled(m_regular);
    second.expectJournal({QStringLiteral("SnimitiSaMrežneLokacije - Početak kopiranja Racuni.7z"), kSuccess});
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
        NativeWorkstation ws;
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
    NativeWorkstation ws;
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
