// Throughput and memory of the file fetcher against curl on a loopback nginx.
//
//   bench_fetch [size in MiB, default 256] [rounds, default 3] [only: e.g. "Chilkat"]
//
// Serves one file of random bytes over http, https and https with HTTP/2, fetches it
// with each engine through DownFile and with curl -o, and prints the best round of each.

#include "BenchSupport.h"
#include "Nginx.h"
#include "TestCertificates.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
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
#include <functional>
#include <limits>
#include <optional>
#include <sys/resource.h>

using namespace tarvino;

namespace {

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

double cpuSeconds(int who)
{
    rusage usage{};
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

    Nginx nginx(root + QStringLiteral("www"),
                {certificates.serverCertificatePath, certificates.serverKeyPath, true});
    const quint16 httpPort = nginx.httpPort;
    const quint16 httpsPort = nginx.httpsPort;
    const quint16 http2Port = nginx.http2Port;
    if (!nginx.running) {
        std::fprintf(stderr, "nginx did not start: %s\n", qPrintable(nginx.error));
        return 1;
    }

    auto platform = platform::createNativePlatform();
    auto settings = SettingsStore::openIniFile(root + QStringLiteral("Tarvino.ini"));
    bench::BenchWindow window(Answer::No);
    AppState state;
    state.programFolder = root + QStringLiteral("Tarvino");
    state.installFolder = state.programFolder + QLatin1Char('/');
    state.sources.regularOption = PrimaryServer;
    state.sources.extraAuthorities = certificates.authorityPath;
    Context ctx{state, window, *platform, *settings};
    const QString folder = root + QStringLiteral("Tarvino/Update/");
    const QString target = folder + QStringLiteral("veliki.7z");
    const QString path = QStringLiteral("/download/Verzija23/veliki.7z");

    // The component engine asks for https, the transfer control for http.
    auto fetcher = [&](bool chilkat, quint16 port) {
        return [&, chilkat, port] {
            state.sources.useChilkat = chilkat;
            state.sources.primaryServer = QStringLiteral("127.0.0.1:") + QString::number(port);
            return DownFile(ctx, QStringLiteral("veliki.7z"), folder,
                            std::numeric_limits<std::int64_t>::max());
        };
    };
    auto curl = [&](bool https, quint16 port) {
        return [&, https, port] {
            QStringList args = {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), target};
            if (https)
                args << QStringLiteral("--cacert") << certificates.authorityPath;
            args << QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(https ? QStringLiteral("https") : QStringLiteral("http"))
                        .arg(port)
                        .arg(path);
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
        {QStringLiteral("curl http"), curl(false, httpPort), false, {}},
        {QStringLiteral("DownInet (http)"), fetcher(false, httpPort), true, {}},
        {QStringLiteral("curl https"), curl(true, httpsPort), false, {}},
        {QStringLiteral("DownChilkat (https)"), fetcher(true, httpsPort), true, {}},
        {QStringLiteral("curl https HTTP/2"), curl(true, http2Port), false, {}},
        {QStringLiteral("DownChilkat (HTTP/2)"), fetcher(true, http2Port), true, {}},
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
    nginx.stop();

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
        std::printf("%-22s %10.1f %10.2f %14.2f %14.1f MiB\n", qPrintable(e.name), rate, e.best.cpu,
                    rate / curlRate, e.best.peakGrowthKiB / 1024.0);
    }
    return 0;
}
