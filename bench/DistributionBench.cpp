// A second distribution of an unchanged release against the first.
//
//   bench_distribution [rows, default 40] [KiB per archive, default 1024]
//
// Publishes a release on an in-process server on 127.0.0.1, distributes it into
// an empty folder, then once more unchanged, and prints what each run fetched
// and how long it took. Fails when the second run fetches any archive.

#include "BenchSupport.h"
#include "TestHttpServer.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "distribution/Distribution.h"
#include "plan/FolderLayout.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <cstdio>

using namespace tarvino;

namespace {

const QString kBase = QStringLiteral("/download/Verzija23/");

struct Outcome {
    bool ok = false;
    double seconds = 0;
    qint64 bytes = 0;
    int archives = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 40;
    const qint64 kib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1024;
    if (rows < 1 || rows > 71 || kib < 1) {
        std::fprintf(stderr, "usage: bench_distribution [rows 1..71] [KiB per archive]\n");
        return 2;
    }

    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/Tarvino/Update"));
    QDir().mkpath(dir.path() + QStringLiteral("/Dist"));

    test::TestHttpServer server;
    QHash<QString, qint64> sizes;
    QString manifest;
    for (int n = 0; n < rows; ++n) {
        const QString name = QStringLiteral("Program%1.exe").arg(n);
        QByteArray archive(kib * 1024 + n, char('a' + n % 26));
        manifest += QStringLiteral("%1;23;1;%2;%3;%4;0\r\n")
                        .arg(name)
                        .arg(n)
                        .arg(archive.size())
                        .arg(archive.size() * 3);
        sizes.insert(kBase + packedName(name), archive.size());
        server.serve(kBase + packedName(name), archive);
    }
    const QByteArray manifestBytes = toAnsi(manifest);
    server.serve(kBase + QStringLiteral("Verzije.txt"), manifestBytes);
    server.serve(kBase + QStringLiteral("VerzijeU.txt"), "VerzijeU\r\n");
    server.serve(kBase + QStringLiteral("TeamViewerQS.exe"), "support program");
    sizes.insert(kBase + QStringLiteral("Verzije.txt"), manifestBytes.size());
    sizes.insert(kBase + QStringLiteral("VerzijeU.txt"), 10);
    sizes.insert(kBase + QStringLiteral("TeamViewerQS.exe"), 15);

    std::unique_ptr<platform::Platform> platform = platform::createNativePlatform();
    std::unique_ptr<SettingsStore> settings =
        SettingsStore::openIniFile(dir.path() + QStringLiteral("/config/Tarvino/Tarvino.ini"));
    bench::BenchWindow window(Answer::Yes);
    AppState state;
    state.programFolder = QDir::toNativeSeparators(dir.path() + QStringLiteral("/Tarvino"));
    state.installFolder = withSeparator(state.programFolder);
    state.sources.primaryServer = server.hostAndPort();
    state.sources.regularOption = PrimaryServer;
    state.sources.useChilkat = false;
    state.sources.folders[DistributionFolderBox] =
        QDir::toNativeSeparators(dir.path() + QStringLiteral("/Dist"));
    Context ctx{state, window, *platform, *settings};

    auto distribute = [&] {
        server.requests.clear();
        QElapsedTimer timer;
        timer.start();
        Outcome o;
        o.ok = DownloadNaLokaciju(ctx, false);
        o.seconds = timer.nsecsElapsed() / 1e9;
        for (const QString& path : server.requests) {
            o.bytes += sizes.value(path);
            o.archives += path.endsWith(QStringLiteral(".7z"));
        }
        return o;
    };

    const Outcome first = distribute();
    const Outcome second = distribute();
    std::printf("release: %d rows, %lld KiB per archive\n", rows, static_cast<long long>(kib));
    std::printf("%-8s %8s %10s %16s %16s\n", "run", "result", "archives", "bytes fetched", "seconds");
    std::printf("%-8s %8s %10d %16lld %16.3f\n", "first", first.ok ? "ok" : "FAILED", first.archives,
                static_cast<long long>(first.bytes), first.seconds);
    std::printf("%-8s %8s %10d %16lld %16.3f\n", "second", second.ok ? "ok" : "FAILED", second.archives,
                static_cast<long long>(second.bytes), second.seconds);
    if (first.seconds > 0)
        std::printf("second run took %.1f %% of the first\n", 100.0 * second.seconds / first.seconds);

    if (!first.ok || !second.ok || first.archives != rows || second.archives != 0) {
        std::fprintf(stderr, "unexpected: the second run must fetch no archive\n");
        return 1;
    }
    return 0;
}
