// Throughput and memory of the file fetcher against curl on a loopback nginx.
//
//   bench_fetch [size in MiB, default 256] [rounds, default 3] [only: e.g. "Chilkat"]
//
// Serves one file of random bytes over http and https, fetches it with each
// engine through DownFile and with curl -o, and prints the best round of each.

#include "TestCertificates.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/WindowPort.h"
#include "platform/Platform.h"
#include "transfer/FileFetcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>
#include <functional>
#include <optional>

using namespace tarvino;

namespace {

// The bench has no operator: boxes go to stderr, everything else is dropped.
class NoWindow final : public WindowPort {
public:
    void message(const QString& text, Icon, const QString&) override
    {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    }
    Answer question(const QString&) override { return Answer::No; }
    void setStatus(Panel panel, const QString& text) override { panels[static_cast<int>(panel)] = text; }
    QString status(Panel panel) const override { return panels[static_cast<int>(panel)]; }
    void setActionPane(const QString&) override {}
    void setErrorPane(const QString&) override {}
    void showProgress(double, double) override {}
    void setProgress(double) override {}
    double progress() const override { return 0; }
    void hideProgress() override {}
    void selectTab(int) override {}
    int currentTab() const override { return 0; }
    void showPlan(const std::vector<PlanGridRow>&) override {}
    void markPlanRow(const QString&, int) override {}
    void setUpdateEnabled(bool) override {}
    void showFolderText(int, const QString&) override {}
    void processEvents() override {}

private:
    QString panels[3];
};

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Resets VmHWM to the current resident size.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForPort(quint16 port)
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Round {
    double seconds = 0;
    double cpu = 0;
    qint64 peakGrowthKiB = -1;
    bool ok = false;
};

struct Result {
    QString name;
    std::optional<Round> best;
};

Round measure(const QString& target, qint64 size, const std::function<bool()>& fetch, bool ownMemory)
{
    QFile::remove(target);
    resetPeak();
    const qint64 idle = statusKiB("VmRSS");
    const int who = ownMemory ? RUSAGE_SELF : RUSAGE_CHILDREN;
    const double cpuBefore = cpuSeconds(who);
    QElapsedTimer timer;
    timer.start();
    Round r;
    r.ok = fetch();
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds(who) - cpuBefore;
    if (ownMemory)
        r.peakGrowthKiB = statusKiB("VmHWM") - idle;
    r.ok = r.ok && QFileInfo(target).size() == size;
    QFile::remove(target);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 256;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    const QString only = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const qint64 size = mib * 1024 * 1024;

    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    const QString served = root + QStringLiteral("www/download/Verzija23/");
    QDir().mkpath(served);
    QDir().mkpath(root + QStringLiteral("Tarvino/Update"));
    QDir().mkpath(root + QStringLiteral("nginx"));

    {
        QFile file(served + QStringLiteral("veliki.7z"));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qint64 done = 0; done < size; done += block.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            file.write(block);
        }
    }

    const auto& certificates = test::TestCertificates::instance();
    if (!certificates.ok()) {
        std::fprintf(stderr, "certificates: %s\n", qPrintable(certificates.error()));
        return 1;
    }

    const quint16 httpPort = freePort();
    const quint16 httpsPort = freePort();
    const QString config =
        QStringLiteral("daemon off; master_process off; worker_processes 1;\n"
                       "pid %1nginx/nginx.pid; error_log %1nginx/error.log;\n"
                       "events { worker_connections 64; }\n"
                       "http {\n"
                       "  access_log off; sendfile on; tcp_nopush on; default_type application/octet-stream;\n"
                       "  client_body_temp_path %1nginx/body; proxy_temp_path %1nginx/proxy;\n"
                       "  fastcgi_temp_path %1nginx/fastcgi; uwsgi_temp_path %1nginx/uwsgi; scgi_temp_path %1nginx/scgi;\n"
                       "  server { listen 127.0.0.1:%2; root %1www; }\n"
                       "  server { listen 127.0.0.1:%3 ssl; root %1www;\n"
                       "           ssl_certificate %4; ssl_certificate_key %5; }\n"
                       "}\n")
            .arg(root)
            .arg(httpPort)
            .arg(httpsPort)
            .arg(certificates.serverCertificatePath, certificates.serverKeyPath);
    {
        QFile file(root + QStringLiteral("nginx/nginx.conf"));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(config.toUtf8());
    }
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::ForwardedChannels);
    nginx.start(QStringLiteral("nginx"), {QStringLiteral("-p"), root + QStringLiteral("nginx"), QStringLiteral("-e"),
                                          root + QStringLiteral("nginx/error.log"), QStringLiteral("-c"),
                                          root + QStringLiteral("nginx/nginx.conf")});
    if (!nginx.waitForStarted() || !waitForPort(httpPort) || !waitForPort(httpsPort)) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }

    auto platform = platform::createNativePlatform();
    auto settings = SettingsStore::openIniFile(root + QStringLiteral("Tarvino.ini"));
    NoWindow window;
    AppState state;
    state.programFolder = root + QStringLiteral("Tarvino");
    state.installFolder = state.programFolder + QLatin1Char('/');
    state.sources.regularOption = PrimaryServer;
    state.sources.extraAuthorities = certificates.authorityPath;
    Context ctx {state, window, *platform, *settings};
    const QString folder = root + QStringLiteral("Tarvino/Update/");
    const QString target = folder + QStringLiteral("veliki.7z");
    const QString path = QStringLiteral("/download/Verzija23/veliki.7z");

    auto fetcher = [&](bool chilkat) {
        return [&, chilkat] {
            state.sources.useChilkat = chilkat;
            state.sources.primaryServer = QStringLiteral("127.0.0.1:") + QString::number(chilkat ? httpsPort : httpPort);
            return DownFile(ctx, QStringLiteral("veliki.7z"), folder);
        };
    };
    auto curl = [&](bool https) {
        return [&, https] {
            QStringList args = {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), target};
            if (https)
                args << QStringLiteral("--cacert") << certificates.authorityPath;
            args << (https ? QStringLiteral("https://127.0.0.1:%1%2").arg(httpsPort).arg(path)
                           : QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path));
            return QProcess::execute(QStringLiteral("curl"), args) == 0;
        };
    };

    struct Entry {
        QString name;
        std::function<bool()> fetch;
        bool ownMemory;
        Round best;
    };
    std::vector<Entry> entries = {
        {QStringLiteral("curl http"), curl(false), false, {}},
        {QStringLiteral("DownInet (http)"), fetcher(false), true, {}},
        {QStringLiteral("curl https"), curl(true), false, {}},
        {QStringLiteral("DownChilkat (https)"), fetcher(true), true, {}},
    };
    if (!only.isEmpty()) {
        // A profile of one fetch: keep only the named one and the curl it is compared with.
        std::vector<Entry> kept;
        for (std::size_t i = 1; i < entries.size(); i += 2) {
            if (entries[i].name.contains(only, Qt::CaseInsensitive)) {
                kept.push_back(entries[i - 1]);
                kept.push_back(entries[i]);
            }
        }
        entries = kept;
    }
    for (int round = 0; round < rounds; ++round) {
        for (Entry& e : entries) {
            const Round r = measure(target, size, e.fetch, e.ownMemory);
            if (!r.ok) {
                std::fprintf(stderr, "%s failed\n", qPrintable(e.name));
                return 1;
            }
            if (e.best.seconds == 0 || r.seconds < e.best.seconds) {
                e.best.seconds = r.seconds;
                e.best.cpu = r.cpu;
            }
            e.best.peakGrowthKiB = std::max(e.best.peakGrowthKiB, r.peakGrowthKiB);
        }
    }
    nginx.kill();
    nginx.waitForFinished();

    std::printf("%lld MiB, best of %d rounds; peak RSS growth is the worst round\n", mib, rounds);
    std::printf("%-22s %10s %10s %14s %18s\n", "fetch", "MiB/s", "CPU s", "ratio to curl", "peak RSS growth");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const double rate = mib / e.best.seconds;
        if (!e.ownMemory) {
            std::printf("%-22s %10.1f %10.2f\n", qPrintable(e.name), rate, e.best.cpu);
            continue;
        }
        const double curlRate = mib / entries[i - 1].best.seconds;
        std::printf("%-22s %10.1f %10.2f %14.2f %14.1f MiB\n", qPrintable(e.name), rate, e.best.cpu, rate / curlRate,
                    e.best.peakGrowthKiB / 1024.0);
    }
    return 0;
}
